#include "support/FakeRuntimeServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "framework/platform/FileProblems.h"
#include "framework/platform/LibraryBinding.h"

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

FakeRuntimeServices::FakeRuntimeServices() = default;

std::vector<RecordedCall> FakeRuntimeServices::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

void FakeRuntimeServices::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

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

void FakeRuntimeServices::RunOnUiThread(const std::function<void()>& work) {
  std::lock_guard lock(mutex_);
  if (!WorkerThreads::StopRequested(WorkerThreads::CurrentToken())) work();
}

bool FakeRuntimeServices::OpenDialog(Control dialog) {
  std::lock_guard lock(mutex_);
  Record(OpenDialogCall{dialog});
  auto& scripts = dialogScripts_[dialog];
  if (scripts.empty()) return false;  // an unscripted dialog is cancelled
  DialogScript script = scripts.front();
  scripts.pop_front();
  if (!script.confirm) return false;
  for (const auto& [property, value] : script.results)
    properties_[{dialog, property, FontElement::None}] = value;
  return true;
}

bool FakeRuntimeServices::ShowProgress(const Text&, int, int) {
  std::lock_guard lock(mutex_);
  ++progressCalls;
  return progressCancelsAt < 0 || progressCalls < progressCancelsAt;
}

void FakeRuntimeServices::MarkText(Control, int start, int length) {
  std::lock_guard lock(mutex_);
  mark_ = length > 0 ? std::pair{start, length} : std::pair{0, 0};
}

std::pair<int, int> FakeRuntimeServices::Mark() {
  std::lock_guard lock(mutex_);
  return mark_;
}

int FakeRuntimeServices::ShowMessageBox(const Value& message, int style,
                                        const std::optional<Text>& caption,
                                        std::optional<Control> owner) {
  std::lock_guard lock(mutex_);
  Record(MessageBoxCall{message, style, caption, owner});
  if (messageBoxAnswers_.empty()) return kAnswerCancel;
  const int answer = messageBoxAnswers_.front();
  messageBoxAnswers_.pop_front();
  return answer;
}

void* FakeRuntimeServices::LibraryFunctionAddress(const char* library, const char* function) {
  std::lock_guard lock(mutex_);
  SetLibraryDirectoryForTesting(programDirectory);
  return BindLibraryFunction(library, function);
}

void FakeRuntimeServices::WriteBundledLibrary(const char* fileName, const std::uint8_t* begin,
                                              const std::uint8_t* end) {
  std::lock_guard lock(mutex_);
  Record(BundledLibraryCall{fileName});
  files_.try_emplace(programDirectory + "/" + fileName, begin, end);
}

ByteBuffer FakeRuntimeServices::BytesFromMemory(const void* address, int length) {
  std::lock_guard lock(mutex_);
  if (!address || length <= 0) return ByteBuffer();
  const auto* bytes = static_cast<const std::uint8_t*>(address);
  return ByteBuffer(bytes, bytes + length);
}

bool FakeRuntimeServices::FileExists(const Text& path) {
  std::lock_guard lock(mutex_);
  return files_.count(path) > 0;
}

ByteBuffer FakeRuntimeServices::ReadFileBytes(const Text& path) {
  std::lock_guard lock(mutex_);
  auto found = files_.find(path);
  return found == files_.end() ? ByteBuffer() : found->second;
}

thread_local FileProblem FakeRuntimeServices::fileProblem = FileProblem::None;

std::optional<ByteBuffer> FakeRuntimeServices::ReadRegularFile(const Text& path,
                                                               std::uint64_t maximumSize) {
  std::lock_guard lock(mutex_);
  auto found = files_.find(path);
  if (found == files_.end() || found->second.size() > maximumSize) {
    fileProblem = found == files_.end() ? FileProblem::NotFound : FileProblem::TooLarge;
    return std::nullopt;
  }
  return found->second;
}

bool FakeRuntimeServices::Writable(const Text& path) const {
  std::lock_guard lock(mutex_);
  const Text folder = path.substr(0, path.rfind('/'));
  auto listed = [this](const Text& name) {
    return std::find(unwritablePaths.begin(), unwritablePaths.end(), name) != unwritablePaths.end();
  };
  return !path.empty() && !listed(path) && !listed(folder);
}

Text FakeRuntimeServices::PrivateFolder(const Text& folder) {
  std::lock_guard lock(mutex_);
  const bool refused = folder.empty() || std::find(unusableFolders.begin(), unusableFolders.end(),
                                                   folder) != unusableFolders.end();
  return refused ? Text() : folder;
}

PrivateFileCreation FakeRuntimeServices::CreatePrivateFile(const Text& path,
                                                           const std::vector<ByteBuffer>& buffers) {
  std::lock_guard lock(mutex_);
  if (files_.count(path) || danglingLinks.count(path)) return PrivateFileCreation::Taken;
  return CreateFileBytes(path, buffers) ? PrivateFileCreation::Created
                                        : PrivateFileCreation::Failed;
}

bool FakeRuntimeServices::ReplacePrivateFile(const Text& path,
                                             const std::vector<ByteBuffer>& buffers) {
  std::lock_guard lock(mutex_);
  if (!ReplaceFileBytes(path, buffers)) return false;
  danglingLinks.erase(path);  // replaced, not followed
  return true;
}

std::vector<Text> FakeRuntimeServices::FilesInFolder(const Text& folder) {
  std::lock_guard lock(mutex_);
  std::vector<Text> names;
  const Text prefix = folder + "/";
  for (const auto& [path, bytes] : files_) {
    if (path.compare(0, prefix.size(), prefix) == 0 && path.find('/', prefix.size()) == Text::npos)
      names.push_back(path.substr(prefix.size()));
  }
  return names;
}

bool FakeRuntimeServices::RemoveFile(const Text& path) {
  std::lock_guard lock(mutex_);
  return files_.erase(path) > 0;
}

void FakeRuntimeServices::ReportProblem(const Text& line) {
  std::lock_guard lock(mutex_);
  problems_.push_back(line);
}

std::vector<Text> FakeRuntimeServices::Problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

void FakeRuntimeServices::RunLater(int milliseconds, std::function<void()> work) {
  std::lock_guard lock(mutex_);
  delayed_.push_back({now_ + std::max(milliseconds, 0), std::move(work)});
}

void FakeRuntimeServices::AdvanceTime(int milliseconds) {
  {
    std::lock_guard lock(mutex_);
    now_ += milliseconds;
  }
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      auto due = std::min_element(delayed_.begin(), delayed_.end(),
                                  [](const auto& a, const auto& b) { return a.due < b.due; });
      if (due == delayed_.end() || due->due > now_) return;
      work = std::move(due->work);
      delayed_.erase(due);
    }
    work();
  }
}

void FakeRuntimeServices::RunInBackground(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  background_.push_back(std::move(work));
}

int FakeRuntimeServices::RunBackgroundWork() {
  int ran = 0;
  for (;; ++ran) {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      if (background_.empty()) return ran;
      work = std::move(background_.front());
      background_.pop_front();
    }
    work();
  }
}

bool FakeRuntimeServices::WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  std::lock_guard lock(mutex_);
  Record(WriteFileCall{path});
  if (!Writable(path)) return false;
  ByteBuffer& file = files_[path];
  file.clear();
  for (const ByteBuffer& buffer : buffers) file.insert(file.end(), buffer.begin(), buffer.end());
  return true;
}

bool FakeRuntimeServices::CreateFileBytes(const Text& path,
                                          const std::vector<ByteBuffer>& buffers) {
  std::lock_guard lock(mutex_);
  Record(CreateFileCall{path});
  if (!Writable(path) || files_.count(path)) return false;
  ByteBuffer& file = files_[path];
  for (const ByteBuffer& buffer : buffers) file.insert(file.end(), buffer.begin(), buffer.end());
  return true;
}

bool FakeRuntimeServices::ReplaceFileBytes(const Text& path,
                                           const std::vector<ByteBuffer>& buffers) {
  std::lock_guard lock(mutex_);
  Record(ReplaceFileCall{path});
  if (!Writable(path)) {
    fileProblem = FileProblem::NoPermission;
    return false;
  }
  ByteBuffer file;
  for (const ByteBuffer& buffer : buffers) file.insert(file.end(), buffer.begin(), buffer.end());
  files_[path] = std::move(file);
  return true;
}

bool FakeRuntimeServices::IsSameFile(const Text& first, const Text& second) {
  std::lock_guard lock(mutex_);
  return first == second && files_.count(first) > 0;
}

bool FakeRuntimeServices::SaveFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  return ReplaceFileBytes(path, buffers);
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

int FakeRuntimeServices::OpenFile(const Text& path, int mode, int sharing) {
  const int file = openFiles_.Open(path, mode, sharing);
  if (file == 0) fileProblem = ::LastFileProblem();
  return file;
}

Text FakeRuntimeServices::ReadText(int file, std::optional<int> count) {
  return openFiles_.ReadText(file, count);
}

bool FakeRuntimeServices::WriteText(int file, const std::vector<Value>& values) {
  std::vector<Text> texts;
  for (const Value& value : values) texts.push_back(value.AsText());
  return openFiles_.WriteText(file, texts);
}

void FakeRuntimeServices::CloseFile(int file) { openFiles_.Close(file); }

ByteBuffer FakeRuntimeServices::FetchUrl(const Text& address, int* httpStatus) {
  std::lock_guard lock(mutex_);
  Record(FetchUrlCall{address});
  auto found = pages_.find(address);
  if (httpStatus) *httpStatus = found == pages_.end() ? 0 : found->second.status;
  return found == pages_.end() ? ByteBuffer() : found->second.body;
}

void FakeRuntimeServices::OpenUrl(const Text& address) {
  std::lock_guard lock(mutex_);
  Record(OpenUrlCall{address});
}

int FakeRuntimeServices::RegisterGlobalHotKey(Control window, Control notifyControl, int modifiers,
                                              int keyCode) {
  std::lock_guard lock(mutex_);
  const int index = hotKeyCalls_++;
  Record(RegisterHotKeyCall{window, notifyControl, modifiers, keyCode});
  const bool refused = std::find(refusedHotKeyCalls.begin(), refusedHotKeyCalls.end(), index) !=
                           refusedHotKeyCalls.end() ||
                       std::find(heldHotKeys.begin(), heldHotKeys.end(),
                                 std::pair(modifiers, keyCode)) != heldHotKeys.end();
  return refused ? 0 : 33001 + index;
}

bool FakeRuntimeServices::StartThread(ThreadRoutine routine, int argument, int* handle) {
  const int started = threads_.Start(std::move(routine), argument);
  if (handle) *handle = started;
  std::lock_guard lock(mutex_);
  Record(StartThreadCall{argument});
  return started != 0;
}

bool FakeRuntimeServices::KillThread(int handle) { return threads_.RequestStop(handle); }

bool FakeRuntimeServices::IsThreadRunning(int handle) { return threads_.IsRunning(handle); }

int FakeRuntimeServices::SuspendThread(int handle) { return threads_.Suspend(handle); }

int FakeRuntimeServices::ResumeThread(int handle) { return threads_.Resume(handle); }

long long FakeRuntimeServices::TickCount() {
  std::lock_guard lock(mutex_);
  return now_;
}

bool FakeRuntimeServices::Delay(int milliseconds) {
  std::function<void(int)> hook;
  {
    std::lock_guard lock(mutex_);
    delays_.push_back(milliseconds);
    now_ += std::max(milliseconds, 0);
    hook = onDelay;
  }
  if (hook) hook(milliseconds);
  return threads_.Checkpoint();
}

bool FakeRuntimeServices::DelayWithEvents(int milliseconds) {
  if (WorkerThreads::OnWorkerThread()) return Delay(milliseconds);
  bool going = true;
  mutex_.Released([&] { going = Delay(milliseconds); });
  return going;
}

bool FakeRuntimeServices::ProcessEvents() {
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    hook = onProcessEvents;
  }
  if (hook) hook();
  return threads_.Checkpoint();
}

std::vector<int> FakeRuntimeServices::Delays() const {
  std::lock_guard lock(mutex_);
  return delays_;
}

bool FakeRuntimeServices::WaitForThread(int handle, int timeoutMilliseconds) {
  const auto until =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (threads_.IsRunning(handle)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool FakeRuntimeServices::WaitUntilThreadHeld(int handle, int timeoutMilliseconds) {
  const auto until =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (!threads_.IsHeld(handle)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool FakeRuntimeServices::UnregisterGlobalHotKey(int number) {
  std::lock_guard lock(mutex_);
  Record(UnregisterHotKeyCall{number});
  return number != 0;
}

CharacterDelivery FakeRuntimeServices::SendCharacter(int window, const Text& character) {
  if (window != 0 && window == closedWindow) return CharacterDelivery::WindowGone;
  if (window == 0 || window != focusedWindow) return CharacterDelivery::NotFocused;
  if (character.empty()) return CharacterDelivery::Sent;
  std::lock_guard lock(mutex_);
  Record(SendCharacterCall{window, character});
  return CharacterDelivery::Sent;
}

void FakeRuntimeServices::PrepareCharacters(const std::vector<Text>& steps, std::size_t next) {
  std::lock_guard lock(mutex_);
  Record(PrepareCharactersCall{next < steps.size() ? steps[next] : Text()});
}

void FakeRuntimeServices::RestoreKeyboardMap() {
  std::lock_guard lock(mutex_);
  Record(RestoreKeyboardMapCall{});
}

Text FakeRuntimeServices::GetSetting(const Text& key) {
  std::lock_guard lock(mutex_);
  const auto found = settings.find(key);
  return found == settings.end() ? Text() : found->second;
}

bool FakeRuntimeServices::SetSetting(const Text& key, const Text& value) {
  std::lock_guard lock(mutex_);
  settings[key] = value;
  return true;
}

std::optional<VoiceDialogValues> FakeRuntimeServices::ShowVoiceDialog(const VoiceDialogSetup& setup,
                                                                      const VoicePreview& preview) {
  return voiceDialog ? voiceDialog(setup, preview) : std::nullopt;
}

void FakeRuntimeServices::SetMenuItemChecked(MenuItem item, bool checked) {
  std::lock_guard lock(mutex_);
  Record(SetMenuItemCheckedCall{item, checked});
}

int FakeRuntimeServices::OpenAudioFile(const Text& path, int sampleRate) {
  std::lock_guard lock(mutex_);
  if (!Writable(path)) return 0;
  audioFiles_[++lastAudioFile_] = {path, sampleRate, {}, false};
  return lastAudioFile_;
}

bool FakeRuntimeServices::WriteAudioFile(int file, const std::uint8_t* pcm, std::size_t bytes) {
  std::lock_guard lock(mutex_);
  const auto found = audioFiles_.find(file);
  if (found == audioFiles_.end() || found->second.completed) return false;
  found->second.pcm.insert(found->second.pcm.end(), pcm, pcm + bytes);
  return true;
}

bool FakeRuntimeServices::CompleteAudioFile(int file) {
  std::lock_guard lock(mutex_);
  const auto found = audioFiles_.find(file);
  if (found == audioFiles_.end()) return false;
  found->second.completed = true;
  return true;
}

bool FakeRuntimeServices::KeepAudioFile(int file, bool keep) {
  std::lock_guard lock(mutex_);
  const auto found = audioFiles_.find(file);
  if (found == audioFiles_.end()) return false;
  AudioFile audio = std::move(found->second);
  audioFiles_.erase(found);
  if (!keep) return true;
  if (!audio.completed) return false;
  // The canonical 44-byte header of 16-bit mono PCM.
  const auto size = static_cast<std::uint32_t>(audio.pcm.size());
  const auto rate = static_cast<std::uint32_t>(audio.rate);
  ByteBuffer image;
  const auto text = [&](const char* four) { image.insert(image.end(), four, four + 4); };
  const auto number = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) image.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  text("RIFF");
  number(size + 36, 4);
  text("WAVE");
  text("fmt ");
  number(16, 4);
  number(1, 2);
  number(1, 2);
  number(rate, 4);
  number(rate * 2, 4);
  number(2, 2);
  number(16, 2);
  text("data");
  number(size, 4);
  image.insert(image.end(), audio.pcm.begin(), audio.pcm.end());
  files_[audio.path] = std::move(image);
  return true;
}

bool FakeRuntimeServices::HasSetting(const Text& key) {
  std::lock_guard lock(mutex_);
  return settings.count(key) != 0;
}

bool FakeRuntimeServices::EditHotKeys(std::vector<HotKeyField>& fields, const HotKeyCheck& check) {
  // Not under the lock: the check registers keys, as the real dialog does.
  return hotKeyDialog ? hotKeyDialog(fields, check) : false;
}

void FakeRuntimeServices::ShowBalloonAtControl(Control balloon, Control control, const Text& text) {
  std::lock_guard lock(mutex_);
  Record(BalloonAtControlCall{balloon, control, text});
}

bool FakeRuntimeServices::ShowMessageWithCheckBox(const Text& message, const Text&, const Text&) {
  std::lock_guard lock(mutex_);
  checkBoxMessages.push_back(message);
  return tickCheckBoxes;
}
