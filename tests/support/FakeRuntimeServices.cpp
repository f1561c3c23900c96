#include "support/FakeRuntimeServices.h"

#include <algorithm>

#include "framework/platform/LibraryBinding.h"

FakeRuntimeServices::FakeRuntimeServices() = default;

std::vector<FakeRuntimeServices::Call> FakeRuntimeServices::CallsOf(
    const std::string& operation) const {
  std::vector<Call> matching;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
               [&](const Call& call) { return call.operation == operation; });
  return matching;
}

void FakeRuntimeServices::Preset(Control control, Property property, const Value& value,
                                 FontElement element) {
  properties_[{control, property, element}] = value;
}

Value FakeRuntimeServices::Peek(Control control, Property property, FontElement element) const {
  auto found = properties_.find({control, property, element});
  return found == properties_.end() ? Value() : found->second;
}

Value FakeRuntimeServices::GetProperty(Control control, Property property, FontElement element) {
  return Peek(control, property, element);
}

void FakeRuntimeServices::SetProperty(Control control, Property property, const Value& value,
                                      FontElement element) {
  properties_[{control, property, element}] = value;
  if (control == Control::编辑框1 && property == Property::Content) modified_ = false;
  Record(Call("SetProperty", control, property, element, value));
}

int FakeRuntimeServices::SendControlMessage(Control control, int message, int first, int) {
  Call call("SendControlMessage", control);
  call.value = message;
  Record(call);
  if (message == EM_GETMODIFY) return modified_ ? 1 : 0;
  if (message == EM_SETMODIFY) modified_ = first != 0;
  return 0;
}

void FakeRuntimeServices::AppendText(Control editBox, const std::vector<Text>& texts) {
  for (const Text& text : texts) {
    Text content = Peek(editBox, Property::Content).AsText();
    properties_[{editBox, Property::Content, FontElement::None}] = content + text;
    Call call("AppendText", editBox);
    call.value = text;
    Record(call);
  }
  if (!texts.empty()) modified_ = true;
}

void FakeRuntimeServices::RefreshNow(Control control) { Record(Call("RefreshNow", control)); }

int FakeRuntimeServices::GetWindowHandle(Control control) {
  Record(Call("GetWindowHandle", control));
  return 0x400001;
}

void FakeRuntimeServices::CloseWindow(Control window) { Record(Call("CloseWindow", window)); }

void FakeRuntimeServices::PopUpMenu(Control owner, Menu, std::optional<int> x,
                                    std::optional<int> y) {
  Call call("PopUpMenu", owner);
  call.value = static_cast<std::int32_t>(x.value_or(-1));
  call.style = y.value_or(-1);
  Record(call);
}

bool FakeRuntimeServices::ShowBalloon(Control balloon, int x, int y, const Text& text, int icon,
                                      const Text& title) {
  Call call("ShowBalloon", balloon);
  call.value = text;
  call.style = icon;
  call.caption = title;
  (void)x;
  (void)y;
  Record(call);
  return true;
}

bool FakeRuntimeServices::ApplyFlatStyle(int style) {
  Call call("ApplyFlatStyle");
  call.style = style;
  Record(call);
  return style >= 1 && style <= 3;
}

bool FakeRuntimeServices::OpenDialog(Control dialog) {
  Record(Call("OpenDialog", dialog));
  auto& scripts = dialogScripts_[dialog];
  if (scripts.empty()) return false;  // an unscripted dialog is cancelled
  DialogScript script = scripts.front();
  scripts.pop_front();
  if (!script.confirm) return false;
  for (const auto& [property, value] : script.results)
    properties_[{dialog, property, FontElement::None}] = value;
  return true;
}

int FakeRuntimeServices::ShowMessageBox(const Value& message, int style,
                                        const std::optional<Text>& caption,
                                        std::optional<Control>) {
  Call call("ShowMessageBox");
  call.value = message;
  call.style = style;
  call.caption = caption;
  Record(call);
  if (messageBoxAnswers_.empty()) return kAnswerCancel;
  const int answer = messageBoxAnswers_.front();
  messageBoxAnswers_.pop_front();
  return answer;
}

void* FakeRuntimeServices::LibraryFunctionAddress(const char* library, const char* function) {
  SetLibraryDirectoryForTesting(programDirectory);
  return BindLibraryFunction(library, function);
}

ByteBuffer FakeRuntimeServices::BytesFromMemory(const void* address, int length) {
  if (!address || length <= 0) return ByteBuffer();
  const auto* bytes = static_cast<const std::uint8_t*>(address);
  return ByteBuffer(bytes, bytes + length);
}

bool FakeRuntimeServices::FileExists(const Text& path) { return files_.count(path) > 0; }

ByteBuffer FakeRuntimeServices::ReadFileBytes(const Text& path) {
  auto found = files_.find(path);
  return found == files_.end() ? ByteBuffer() : found->second;
}

bool FakeRuntimeServices::Writable(const Text& path) const {
  return !path.empty() &&
         std::find(unwritablePaths.begin(), unwritablePaths.end(), path) == unwritablePaths.end();
}

bool FakeRuntimeServices::WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  Call call("WriteFileBytes");
  call.value = path;
  Record(call);
  if (!Writable(path)) return false;
  ByteBuffer& file = files_[path];
  file.clear();
  for (const ByteBuffer& buffer : buffers) file.insert(file.end(), buffer.begin(), buffer.end());
  return true;
}

bool FakeRuntimeServices::CreateFileBytes(const Text& path,
                                          const std::vector<ByteBuffer>& buffers) {
  Call call("CreateFileBytes");
  call.value = path;
  Record(call);
  if (!Writable(path) || files_.count(path)) return false;
  ByteBuffer& file = files_[path];
  for (const ByteBuffer& buffer : buffers) file.insert(file.end(), buffer.begin(), buffer.end());
  return true;
}

bool FakeRuntimeServices::ReplaceFileBytes(const Text& path,
                                           const std::vector<ByteBuffer>& buffers) {
  Call call("ReplaceFileBytes");
  call.value = path;
  Record(call);
  if (!Writable(path)) return false;
  ByteBuffer file;
  for (const ByteBuffer& buffer : buffers) file.insert(file.end(), buffer.begin(), buffer.end());
  files_[path] = std::move(file);
  return true;
}
