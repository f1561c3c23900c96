#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "framework/RuntimeServices.h"
#include "framework/platform/OpenFiles.h"
#include "framework/platform/WorkerThreads.h"
#include "support/RecordedCalls.h"

// RuntimeServices for handler tests: properties live in a table, dialogs, message
// boxes, fetches and hot keys answer from scripts, whole files live in memory, and
// every call that changes something is recorded in order, one struct an operation
// (RecordedCalls.h). Threads are real, time is not: Delay records the wait and
// returns without sleeping. Every operation may be called from several threads.
// One object plays every role; each role's operations are in a file of their own.
class FakeRuntimeServices : public RuntimeServices {
 public:
  // What a scripted dialog does when it is opened: confirm or cancel, and the
  // properties it leaves behind on confirmation.
  struct DialogScript {
    bool confirm = false;
    std::map<Property, Value> results;
  };

  FakeRuntimeServices();

  // --- Scripting and inspection ---
  void ScriptDialog(Control dialog, DialogScript script) {
    dialogScripts_[dialog].push_back(script);
  }
  void ScriptMessageBoxAnswer(int answer) { messageBoxAnswers_.push_back(answer); }
  // The whole log in call order (a copy: workers may still be adding to it).
  std::vector<RecordedCall> Calls() const;
  // The calls of one kind, in order.
  template <typename CallType>
  std::vector<CallType> CallsOf() const {
    std::lock_guard lock(mutex_);
    std::vector<CallType> matching;
    for (const RecordedCall& call : calls_)
      if (const auto* typed = std::get_if<CallType>(&call)) matching.push_back(*typed);
    return matching;
  }
  void ClearCalls();
  // Sets a property without recording a call, as the user would by editing.
  void Preset(Control control, Property property, const Value& value,
              FontElement element = FontElement::None);
  Value Peek(Control control, Property property, FontElement element = FontElement::None) const;
  std::map<Text, ByteBuffer>& Files() { return files_; }
  bool& Modified() { return modified_; }
  int UnansweredMessageBoxes() const { return static_cast<int>(messageBoxAnswers_.size()); }

  struct Page {
    ByteBuffer body;
    int status = 200;
  };
  void ScriptPage(const Text& address, Page page) { pages_[address] = std::move(page); }
  // Hot-key registrations answered with a refusal, by call order (0-based).
  std::vector<int> refusedHotKeyCalls;
  // Called on the calling thread at every ProcessEvents (a worker's checkpoint).
  std::function<void()> onProcessEvents;
  // Called on the delaying thread at every Delay, with the requested time.
  std::function<void(int milliseconds)> onDelay;
  std::vector<int> Delays() const;
  // Runs the work while no other operation of the fake runs (tests that read
  // the recorded state while a worker is busy).
  template <typename Work>
  auto Locked(Work&& work) {
    std::lock_guard lock(mutex_);
    return work();
  }

  // --- Window controls (FakeWindowControls.cpp) ---
  Value GetProperty(Control control, Property property, FontElement element) override;
  void SetProperty(Control control, Property property, const Value& value,
                   FontElement element) override;
  int SendControlMessage(Control control, int message, int first, int second) override;
  void AppendText(Control editBox, const std::vector<Text>& texts) override;
  void RefreshNow(Control control) override;
  int GetWindowHandle(Control control) override;
  void CloseWindow(Control window) override;
  void PopUpMenu(Control owner, Menu menu, std::optional<int> x, std::optional<int> y) override;
  bool ShowBalloon(Control balloon, int x, int y, const Text& text, int icon,
                   const Text& title) override;
  void ShowBalloonAtControl(Control balloon, Control control, const Text& text) override;
  int MouseX() override { return mouseX; }
  int MouseY() override { return mouseY; }
  bool ApplyFlatStyle(int style) override;
  void SetMenuItemChecked(MenuItem item, bool checked) override;
  void MarkText(Control editBox, int start, int length) override;
  // The edit box's mark as start and length in bytes; length 0 when none.
  std::pair<int, int> Mark();
  // A prepared text is put in as SetProperty Content would.
  int PrepareContent(Control editBox, const Text& text) override;
  bool PutPreparedContent(int prepared) override;
  void DiscardPreparedContent(int prepared) override;
  std::function<Text()> ContentForLater(Control editBox) override;
  int mouseX = 0;
  int mouseY = 0;

  // --- Dialogs (FakeDialogs.cpp) ---
  bool OpenDialog(Control dialog) override;
  int ShowMessageBox(const Value& message, int style, const std::optional<Text>& caption,
                     std::optional<Control> owner) override;
  // The texts of the boxes with a check box, ticked as the test says.
  bool ShowMessageWithCheckBox(const Text& message, const Text& caption,
                               const Text& checkLabel) override;
  bool tickCheckBoxes = false;
  std::vector<Text> checkBoxMessages;
  // Answers "go on" until progressCancelsAt calls have been made (never when negative).
  bool ShowProgress(const Text& label, int done, int total) override;
  void EndProgress() override {}
  int progressCancelsAt = -1;
  int progressCalls = 0;
  // The voice settings dialog plays the user: it is given the setup and 试听, and
  // answers with the values chosen (nothing: 取消). Unset, the dialog is cancelled.
  using VoicePreview = std::function<Text(const VoiceDialogValues&)>;
  std::function<std::optional<VoiceDialogValues>(const VoiceDialogSetup&, const VoicePreview&)>
      voiceDialog;
  std::optional<VoiceDialogValues> ShowVoiceDialog(const VoiceDialogSetup& setup,
                                                   const VoicePreview& preview) override;
  // The hot-key dialog, played by the test (nothing set: cancelled).
  std::function<bool(std::vector<HotKeyField>& fields, const HotKeyCheck& check)> hotKeyDialog;
  bool EditHotKeys(std::vector<HotKeyField>& fields, const HotKeyCheck& check) override;

  // --- File system (FakeFileSystem.cpp) ---
  int OpenFile(const Text& path, int mode, int sharing) override;
  Text ReadText(int file, std::optional<int> count) override;
  bool WriteText(int file, const std::vector<Value>& values) override;
  void CloseFile(int file) override;
  bool FileExists(const Text& path) override;
  ByteBuffer ReadFileBytes(const Text& path) override;
  // The fake's files are all regular files.
  std::optional<ByteBuffer> ReadRegularFile(const Text& path, std::uint64_t maximumSize) override;
  bool WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  bool CreateFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  bool ReplaceFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  // Files are the same when their paths are (the fake has no links); a save is a
  // replacement; the last problem is what a failed fake operation noted, or what the
  // test put in fileProblem. Like the system's reason it is kept per thread: a worker
  // reading one file must not see the reason another thread's failure left.
  FileProblem LastFileProblem() override { return fileProblem; }
  bool IsSameFile(const Text& first, const Text& second) override;
  bool SaveFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  static thread_local FileProblem fileProblem;
  Text ProgramDirectory() override { return programDirectory; }
  Text StateDirectory() override { return stateDirectory; }
  Text ConfigDirectory() override { return configDirectory; }
  // Copies of unsaved text: folders in unusableFolders are refused, names in
  // danglingLinks are taken by a link to nowhere.
  Text PrivateFolder(const Text& folder) override;
  Text FallbackDirectory() override { return fallbackDirectory; }
  PrivateFileCreation CreatePrivateFile(const Text& path,
                                        const std::vector<ByteBuffer>& buffers) override;
  bool ReplacePrivateFile(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  std::vector<Text> FilesInFolder(const Text& folder) override;
  bool RemoveFile(const Text& path) override;
  Text programDirectory = "/opt/orvane";
  Text stateDirectory = "/home/user/.local/state/orvane-notepad";  // empty: cannot be made
  Text configDirectory = "/home/user/.config/orvane-notepad";
  Text fallbackDirectory = "/run/user/1000/orvane-notepad";
  std::vector<Text> unusableFolders;
  std::set<Text> danglingLinks;
  std::vector<Text> unwritablePaths;  // writes to these fail (a folder: to files in it)

  // --- Threads and time (FakeThreads.cpp) ---
  bool StartThread(ThreadRoutine routine, int argument, int* handle) override;
  bool KillThread(int handle) override;
  bool IsThreadRunning(int handle) override;
  int SuspendThread(int handle) override;
  int ResumeThread(int handle) override;
  // Time moves only when Delay is called: by the time asked for.
  long long TickCount() override;
  bool Delay(int milliseconds) override;
  bool DelayWithEvents(int milliseconds) override;
  bool ProcessEvents() override;
  // Waits (for real, bounded) until the thread's routine has returned.
  bool WaitForThread(int handle, int timeoutMilliseconds = 5000);
  // Waits (for real, bounded) until the thread stands still in a pause.
  bool WaitUntilThreadHeld(int handle, int timeoutMilliseconds = 5000);
  // Runs the work under the fake's lock, as the user-interface thread would one at a time.
  void RunOnUiThread(const std::function<void()>& work) override;
  // Delayed work waits for AdvanceTime, background work for RunBackgroundWork (both run
  // on the calling thread).
  void RunLater(int milliseconds, std::function<void()> work) override;
  void RunInBackground(std::function<void()> work) override;
  // Moves the clock on by the time, running the delayed work that falls due in order.
  void AdvanceTime(int milliseconds);
  // Runs the background work given so far, and what that gives; how many pieces ran.
  int RunBackgroundWork();
  Text LocalTimeStamp() override { return localTimeStamp; }
  Text localTimeStamp = "20240607-080910";

  // --- Network (FakeNetwork.cpp) ---
  bool IsOnline() override { return online; }
  ByteBuffer FetchUrl(const Text& address, int* httpStatus) override;
  void OpenUrl(const Text& address) override;
  bool online = true;

  // --- Typing into other windows (FakeTyping.cpp) ---
  // Characters reach the focused window only; each one sent is recorded with its text.
  int FocusedWindow() override { return focusedWindow; }
  CharacterDelivery SendCharacter(int window, const Text& character) override;
  void RestoreKeyboardMap() override;
  // Records the next step it was asked to ready.
  void PrepareCharacters(const std::vector<Text>& steps, std::size_t next) override;
  // Where only the layout's keys reach other windows: when set, no step beyond ASCII can be
  // keyed. A paste is recorded with its text and reaches the focused window only.
  bool keysOnlyAscii = false;
  bool pasteReachesWindows = true;
  bool CanKeyIntoWindows(const Text& step) override;
  CharacterDelivery PasteIntoWindow(int window, const Text& text, bool terminal) override;
  bool CanPasteIntoWindows() override { return pasteReachesWindows; }
  std::atomic<int> focusedWindow = 0;
  std::atomic<int> closedWindow = 0;  // a window that is gone

  // --- System hot keys (FakeSystemHotKeys.cpp) ---
  int RegisterGlobalHotKey(Control window, Control notifyControl, int modifiers,
                           int keyCode) override;
  bool UnregisterGlobalHotKey(int number) override;
  // Whether this session takes keys itself (false plays a Wayland session).
  bool TakesGlobalHotKeys() override { return takesGlobalHotKeys; }
  bool takesGlobalHotKeys = true;
  // Combinations (modifiers, key code) another program holds, refused whenever asked for.
  std::vector<std::pair<int, int>> heldHotKeys;
  // Keys the desktop registers: with hotKeysKnownLater set, the answer about them waits
  // for AnswerHotKeysKnown (takesGlobalHotKeys at that time); the names given with keys
  // are kept in call order.
  void WhenHotKeysKnown(std::function<void(bool takesKeys)> answer) override;
  int RegisterNamedGlobalHotKey(Control window, Control notifyControl, int modifiers, int keyCode,
                                const Text& name, const Text& description) override;
  void AnswerHotKeysKnown();
  bool hotKeysKnownLater = false;
  std::vector<Text> hotKeyNames;

  // --- Settings (FakeSettings.cpp) ---
  Text GetSetting(const Text& key) override;
  bool HasSetting(const Text& key) override;
  bool SetSetting(const Text& key, const Text& value) override;
  std::map<Text, Text> settings;

  // --- Bundled libraries (FakeLibraries.cpp) ---
  // Records the call and puts the bytes into Files() under programDirectory when the
  // name is free (the real rules are tested on real folders, in tests/components/files).
  void WriteBundledLibrary(const char* fileName, const std::uint8_t* begin,
                           const std::uint8_t* end) override;
  // Real binding, from programDirectory (a recording library placed there by a test).
  void* LibraryFunctionAddress(const char* library, const char* function) override;
  ByteBuffer BytesFromMemory(const void* address, int length) override;

  // --- Audio files (FakeAudioFiles.cpp) ---
  // Audio files end up in Files() as a WAV image (44-byte header, then the PCM) once
  // kept; a path in unwritablePaths cannot be opened.
  int OpenAudioFile(const Text& path, int sampleRate) override;
  bool WriteAudioFile(int file, const std::uint8_t* pcm, std::size_t bytes) override;
  bool CompleteAudioFile(int file) override;
  bool KeepAudioFile(int file, bool keep) override;
  int OpenAudioFiles() const { return static_cast<int>(audioFiles_.size()); }

  // --- Processes (FakeProcesses.cpp) ---
  int ProcessId() override { return processId; }
  bool IsProgramRunning(int id) override { return runningPrograms.count(id) > 0; }
  void ReportProblem(const Text& line) override;
  std::vector<Text> Problems() const;
  int processId = 4321;
  std::set<int> runningPrograms;

 private:
  using Key = std::tuple<Control, Property, FontElement>;
  void Record(RecordedCall call) { calls_.push_back(std::move(call)); }
  bool Writable(const Text& path) const;

  std::map<Key, Value> properties_;
  std::map<Control, std::deque<DialogScript>> dialogScripts_;
  std::deque<int> messageBoxAnswers_;
  std::map<Text, ByteBuffer> files_;
  struct AudioFile {
    Text path;
    int rate = 0;
    ByteBuffer pcm;
    bool completed = false;
  };
  std::map<int, AudioFile> audioFiles_;
  int lastAudioFile_ = 0;
  std::map<int, std::pair<Control, Text>> prepared_;
  int nextPrepared_ = 1;
  std::pair<int, int> mark_{0, 0};
  std::vector<RecordedCall> calls_;
  bool modified_ = false;
  std::map<Text, Page> pages_;
  std::vector<int> delays_;
  long long now_ = 1000;
  int hotKeyCalls_ = 0;
  std::vector<std::function<void(bool)>> hotKeysAnswers_;
  // Recursive; the thread that plays the user-interface thread lets go of it while it
  // waits with events, as the real one handles workers' requests meanwhile.
  class UiLock {
   public:
    void lock() {
      if (owner_ == std::this_thread::get_id()) {
        ++depth_;
        return;
      }
      mutex_.lock();
      owner_ = std::this_thread::get_id();
      depth_ = 1;
    }
    void unlock() {
      if (--depth_ > 0) return;
      owner_ = std::thread::id();
      mutex_.unlock();
    }
    template <typename Work>
    void Released(Work&& work) {
      if (owner_ != std::this_thread::get_id()) return work();
      const int depth = depth_;
      depth_ = 1;
      unlock();
      work();
      lock();
      depth_ = depth;
    }

   private:
    std::mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    int depth_ = 0;
  };
  mutable UiLock mutex_;
  OpenFiles openFiles_;
  struct DelayedWork {
    long long due;
    std::function<void()> work;
  };
  std::vector<DelayedWork> delayed_;
  std::deque<std::function<void()>> background_;
  std::vector<Text> problems_;
  WorkerThreads threads_;  // last: its threads end before the rest goes away
};
