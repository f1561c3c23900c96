#include "support/FakeRuntimeServices.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* KindOf(const Value& value) {
  if (value.IsInt()) return "integer";
  if (value.IsBool()) return "logical";
  if (value.IsColour()) return "colour";
  if (value.IsText()) return "text";
  if (value.IsBytes()) return "bytes";
  return "empty";
}

// The kind each property (each font element) holds by design; Value::As... would
// quietly convert any other, so the fake is where a wrong kind shows.
const char* DesignedKind(Property property, FontElement element) {
  switch (property) {
    case Property::Left:
    case Property::Top:
    case Property::Width:
    case Property::Height:
    case Property::DialogType:
    case Property::InitialFilter:
    case Property::Size:
      return "integer";
    case Property::Visible:
    case Property::Disabled:
    case Property::CreatePrompt:
    case Property::FileMustExist:
    case Property::OverwritePrompt:
    case Property::PathMustExist:
    case Property::KeepDirectory:
    case Property::Bold:
    case Property::Italic:
    case Property::StrikeOut:
    case Property::Underline:
      return "logical";
    case Property::Title:
    case Property::Content:
    case Property::Caption:
    case Property::FileName:
    case Property::Filter:
    case Property::InitialDirectory:
    case Property::DefaultExtension:
    case Property::FaceName:
      return "text";
    case Property::TextColour:
    case Property::BackgroundColour:
    case Property::Colour:
      return "colour";
    case Property::Picture:
      return "bytes";
    case Property::Font:
      switch (element) {
        case FontElement::Angle:
        case FontElement::Size:
          return "integer";
        case FontElement::Bold:
        case FontElement::Italic:
        case FontElement::StrikeOut:
        case FontElement::Underline:
          return "logical";
        case FontElement::FaceName:
          return "text";
        case FontElement::None:
          return "a font element";
      }
  }
  return "unknown";
}

void CheckKind(const char* operation, Property property, FontElement element, const Value& value) {
  const std::string designed = DesignedKind(property, element);
  if (designed != KindOf(value))
    ADD_FAILURE() << operation << " of property " << static_cast<int>(property) << " (font element "
                  << static_cast<int>(element) << ") with a " << KindOf(value)
                  << " value; by design it holds " << designed;
}

}  // namespace

void FakeRuntimeServices::Preset(Control control, Property property, const Value& value,
                                 FontElement element) {
  CheckKind("Preset", property, element, value);
  std::lock_guard lock(mutex_);
  properties_[{control, property, element}] = value;
}

Value FakeRuntimeServices::Peek(Control control, Property property, FontElement element) const {
  std::lock_guard lock(mutex_);
  auto found = properties_.find({control, property, element});
  return found == properties_.end() ? Value() : found->second;
}

Value FakeRuntimeServices::GetProperty(Control control, Property property, FontElement element) {
  std::lock_guard lock(mutex_);
  return Peek(control, property, element);
}

void FakeRuntimeServices::SetProperty(Control control, Property property, const Value& value,
                                      FontElement element) {
  CheckKind("SetProperty", property, element, value);
  std::lock_guard lock(mutex_);
  if (WorkerThreads::StopRequested(WorkerThreads::CurrentToken())) return;
  properties_[{control, property, element}] = value;
  if (control == Control::编辑框1 && property == Property::Content) modified_ = false;
  Record(SetPropertyCall{control, property, element, value});
}

int FakeRuntimeServices::SendControlMessage(Control control, int message, int first, int second) {
  std::lock_guard lock(mutex_);
  Record(SendControlMessageCall{control, message, first, second});
  if (message == EM_GETMODIFY) return modified_ ? 1 : 0;
  if (message == EM_SETMODIFY) modified_ = first != 0;
  // Only the whole text is ever selected and cleared here.
  if (message == WM_CLEAR) {
    properties_[{control, Property::Content, FontElement::None}] = Text();
    modified_ = true;
  }
  return 0;
}

void FakeRuntimeServices::AppendText(Control editBox, const std::vector<Text>& texts) {
  std::lock_guard lock(mutex_);
  if (WorkerThreads::StopRequested(WorkerThreads::CurrentToken())) return;
  for (const Text& text : texts) {
    Text content = Peek(editBox, Property::Content).AsText();
    properties_[{editBox, Property::Content, FontElement::None}] = content + text;
    Record(AppendTextCall{editBox, text});
  }
  if (!texts.empty()) modified_ = true;
}

void FakeRuntimeServices::RefreshNow(Control control) {
  std::lock_guard lock(mutex_);
  Record(RefreshNowCall{control});
}

int FakeRuntimeServices::GetWindowHandle(Control control) {
  std::lock_guard lock(mutex_);
  Record(GetWindowHandleCall{control});
  return 0x400001;
}

void FakeRuntimeServices::CloseWindow(Control window) {
  std::lock_guard lock(mutex_);
  Record(CloseWindowCall{window});
}

void FakeRuntimeServices::PopUpMenu(Control owner, Menu menu, std::optional<int> x,
                                    std::optional<int> y) {
  std::lock_guard lock(mutex_);
  Record(PopUpMenuCall{owner, menu, x, y});
}

bool FakeRuntimeServices::ShowBalloon(Control balloon, int x, int y, const Text& text, int icon,
                                      const Text& title) {
  std::lock_guard lock(mutex_);
  Record(ShowBalloonCall{balloon, x, y, text, icon, title});
  return true;
}

bool FakeRuntimeServices::ApplyFlatStyle(int style) {
  std::lock_guard lock(mutex_);
  Record(ApplyFlatStyleCall{style});
  return style >= 1 && style <= 3;
}

void FakeRuntimeServices::MarkText(Control, int start, int length) {
  std::lock_guard lock(mutex_);
  mark_ = length > 0 ? std::pair{start, length} : std::pair{0, 0};
}

std::pair<int, int> FakeRuntimeServices::Mark() {
  std::lock_guard lock(mutex_);
  return mark_;
}

int FakeRuntimeServices::PrepareContent(Control editBox, const Text& text) {
  std::lock_guard lock(mutex_);
  prepared_[nextPrepared_] = {editBox, text};
  return nextPrepared_++;
}

bool FakeRuntimeServices::PutPreparedContent(int prepared) {
  std::lock_guard lock(mutex_);
  const auto found = prepared_.find(prepared);
  if (found == prepared_.end() || WorkerThreads::StopRequested(WorkerThreads::CurrentToken()))
    return false;
  SetProperty(found->second.first, Property::Content, found->second.second, FontElement::None);
  prepared_.erase(found);
  return true;
}

void FakeRuntimeServices::DiscardPreparedContent(int prepared) {
  std::lock_guard lock(mutex_);
  prepared_.erase(prepared);
}

std::function<Text()> FakeRuntimeServices::ContentForLater(Control editBox) {
  return
      [text = GetProperty(editBox, Property::Content, FontElement::None).AsText()] { return text; };
}

void FakeRuntimeServices::SetMenuItemChecked(MenuItem item, bool checked) {
  std::lock_guard lock(mutex_);
  Record(SetMenuItemCheckedCall{item, checked});
}

void FakeRuntimeServices::ShowBalloonAtControl(Control balloon, Control control, const Text& text) {
  std::lock_guard lock(mutex_);
  Record(BalloonAtControlCall{balloon, control, text});
}
