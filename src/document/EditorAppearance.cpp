#include "document/EditorAppearance.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

namespace {

// Remembered font: one setting an element, the colour as #RRGGBB.
struct FontSetting {
  const char* key;
  FontElement element;
};
constexpr FontSetting kFontSettings[] = {
    {"editor/face", FontElement::FaceName},       {"editor/size", FontElement::Size},
    {"editor/bold", FontElement::Bold},           {"editor/italic", FontElement::Italic},
    {"editor/strikeOut", FontElement::StrikeOut}, {"editor/underline", FontElement::Underline},
};
constexpr const char* kColourSetting = "editor/colour";
constexpr int kLargestSize = 400;  // points

Text SettingFrom(const Value& value, FontElement element) {
  if (element == FontElement::FaceName) return value.AsText();
  if (element == FontElement::Size) return std::to_string(value.AsInt());
  return value.AsBool() ? "true" : "false";
}

std::optional<Value> ValueFrom(const Text& setting, FontElement element) {
  if (setting.empty()) return std::nullopt;
  if (element == FontElement::FaceName) return Value(setting);
  if (element == FontElement::Size) {
    int size = 0;
    const char* end = setting.data() + setting.size();
    const auto [stop, error] = std::from_chars(setting.data(), end, size);
    if (error != std::errc() || stop != end || size < 1 || size > kLargestSize) return std::nullopt;
    return Value(size);
  }
  if (setting == "true" || setting == "false") return Value(setting == "true");
  return std::nullopt;
}

Text ColourSetting(Colour colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", colour.ref & 0xFF, (colour.ref >> 8) & 0xFF,
                (colour.ref >> 16) & 0xFF);
  return text;
}

std::optional<Colour> ColourFrom(const Text& setting) {
  std::uint32_t rgb = 0;
  const char* end = setting.data() + setting.size();
  if (setting.size() != 7 || setting[0] != '#') return std::nullopt;
  const auto [stop, error] = std::from_chars(setting.data() + 1, end, rgb, 16);
  if (error != std::errc() || stop != end) return std::nullopt;
  return Rgb(static_cast<int>(rgb >> 16), static_cast<int>(rgb >> 8), static_cast<int>(rgb));
}

void RememberEditorFont(Uses<WindowControls, Settings> services) {
  auto& settings = services.Get<Settings>();
  auto& controls = services.Get<WindowControls>();
  for (const auto& [key, element] : kFontSettings)
    settings.SetSetting(
        key, SettingFrom(controls.GetProperty(Control::编辑框1, Property::Font, element), element));
  settings.SetSetting(
      kColourSetting,
      ColourSetting(controls.GetProperty(Control::编辑框1, Property::TextColour).AsColour()));
}

// Before its first confirmation the dialog has no font of its own: it opens on the
// editor's, so that confirming it unchanged leaves the editor as it was.
void PresetDialogWithEditorFont(WindowControls& controls) {
  if (!controls.GetProperty(Control::通用对话框1, Property::FaceName).AsText().empty()) return;
  const std::pair<Property, FontElement> elements[] = {
      {Property::FaceName, FontElement::FaceName},   {Property::Size, FontElement::Size},
      {Property::Bold, FontElement::Bold},           {Property::Italic, FontElement::Italic},
      {Property::StrikeOut, FontElement::StrikeOut}, {Property::Underline, FontElement::Underline},
  };
  for (const auto& [property, element] : elements)
    controls.SetProperty(Control::通用对话框1, property,
                         controls.GetProperty(Control::编辑框1, Property::Font, element));
  controls.SetProperty(Control::通用对话框1, Property::Colour,
                       controls.GetProperty(Control::编辑框1, Property::TextColour));
}

}  // namespace

void ChooseEditorFont(Uses<WindowControls, Dialogs, Settings> services) {
  auto& controls = services.Get<WindowControls>();
  PresetDialogWithEditorFont(services);
  if (!services.Get<Dialogs>().OpenDialog(Control::通用对话框1)) return;
  const auto chosen = [&](Property property) {
    return controls.GetProperty(Control::通用对话框1, property);
  };
  // One element at a time, in this order; the angle is never changed.
  controls.SetProperty(Control::编辑框1, Property::Font, chosen(Property::FaceName),
                       FontElement::FaceName);
  controls.SetProperty(Control::编辑框1, Property::Font, chosen(Property::Size), FontElement::Size);
  controls.SetProperty(Control::编辑框1, Property::Font, chosen(Property::Bold), FontElement::Bold);
  controls.SetProperty(Control::编辑框1, Property::Font, chosen(Property::Italic),
                       FontElement::Italic);
  controls.SetProperty(Control::编辑框1, Property::Font, chosen(Property::StrikeOut),
                       FontElement::StrikeOut);
  controls.SetProperty(Control::编辑框1, Property::Font, chosen(Property::Underline),
                       FontElement::Underline);
  controls.SetProperty(Control::编辑框1, Property::TextColour, chosen(Property::Colour));
  RememberEditorFont(services);
}

void RestoreEditorFont(Uses<WindowControls, Settings> services) {
  auto& settings = services.Get<Settings>();
  auto& controls = services.Get<WindowControls>();
  for (const auto& [key, element] : kFontSettings)
    if (const auto value = ValueFrom(settings.GetSetting(key), element))
      controls.SetProperty(Control::编辑框1, Property::Font, *value, element);
  if (const auto colour = ColourFrom(settings.GetSetting(kColourSetting)))
    controls.SetProperty(Control::编辑框1, Property::TextColour, *colour);
}

void UndoEdit(WindowControls& controls) {
  controls.SendControlMessage(Control::编辑框1, EM_UNDO, 0, 0);
}

void ChooseLogoPicture(Uses<WindowControls, Dialogs, FileSystem> services) {
  auto& controls = services.Get<WindowControls>();
  if (!services.Get<Dialogs>().OpenDialog(Control::通用对话框2)) return;
  const Text path = controls.GetProperty(Control::通用对话框2, Property::FileName).AsText();
  // A file that cannot be read gives no bytes, which clears the picture.
  controls.SetProperty(Control::图片框1, Property::Picture,
                       services.Get<FileSystem>().ReadFileBytes(path));
}
