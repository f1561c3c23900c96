#include "document/EditorAppearance.h"

#include <utility>

namespace {

// Before its first confirmation the dialog has no font of its own: it opens on the
// editor's, so that confirming it unchanged leaves the editor as it was.
void PresetDialogWithEditorFont(RuntimeServices& services) {
  if (!services.GetProperty(Control::通用对话框1, Property::FaceName).AsText().empty()) return;
  const std::pair<Property, FontElement> elements[] = {
      {Property::FaceName, FontElement::FaceName},   {Property::Size, FontElement::Size},
      {Property::Bold, FontElement::Bold},           {Property::Italic, FontElement::Italic},
      {Property::StrikeOut, FontElement::StrikeOut}, {Property::Underline, FontElement::Underline},
  };
  for (const auto& [property, element] : elements)
    services.SetProperty(Control::通用对话框1, property,
                         services.GetProperty(Control::编辑框1, Property::Font, element));
  services.SetProperty(Control::通用对话框1, Property::Colour,
                       services.GetProperty(Control::编辑框1, Property::TextColour));
}

}  // namespace

void ChooseEditorFont(RuntimeServices& services) {
  PresetDialogWithEditorFont(services);
  if (!services.OpenDialog(Control::通用对话框1)) return;
  const auto chosen = [&](Property property) {
    return services.GetProperty(Control::通用对话框1, property);
  };
  // One element at a time, in this order; the angle is never changed.
  services.SetProperty(Control::编辑框1, Property::Font, chosen(Property::FaceName),
                       FontElement::FaceName);
  services.SetProperty(Control::编辑框1, Property::Font, chosen(Property::Size), FontElement::Size);
  services.SetProperty(Control::编辑框1, Property::Font, chosen(Property::Bold), FontElement::Bold);
  services.SetProperty(Control::编辑框1, Property::Font, chosen(Property::Italic),
                       FontElement::Italic);
  services.SetProperty(Control::编辑框1, Property::Font, chosen(Property::StrikeOut),
                       FontElement::StrikeOut);
  services.SetProperty(Control::编辑框1, Property::Font, chosen(Property::Underline),
                       FontElement::Underline);
  services.SetProperty(Control::编辑框1, Property::TextColour, chosen(Property::Colour));
}

void UndoEdit(RuntimeServices& services) {
  services.SendControlMessage(Control::编辑框1, EM_UNDO, 0, 0);
}

void ChooseLogoPicture(RuntimeServices& services) {
  if (!services.OpenDialog(Control::通用对话框2)) return;
  const Text path = services.GetProperty(Control::通用对话框2, Property::FileName).AsText();
  // A file that cannot be read gives no bytes, which clears the picture.
  services.SetProperty(Control::图片框1, Property::Picture, services.ReadFileBytes(path));
}
