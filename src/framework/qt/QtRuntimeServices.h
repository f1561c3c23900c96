#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "framework/RuntimeServices.h"
#include "framework/WindowDefinition.h"
#include "framework/platform/OpenFiles.h"
#include "framework/platform/WorkerThreads.h"
#include "framework/qt/CommonDialog.h"

class BackgroundJobs;
class CharacterKeys;
class WaylandKeys;
class WaylandClipboard;
class X11Clipboard;
class LayoutKeys;
class PortalKeys;
class GlobalHotKeys;
class PortalHotKeys;
class MainWindow;
class QProgressDialog;
class QTextDocument;
class QWidget;

// RuntimeServices over Qt Widgets, every role in one object (they share the window, the
// worker threads and the keyboard); each role's operations are in a file of their own.
// Control operations from any thread are carried out on the user-interface thread.
class QtRuntimeServices : public RuntimeServices {
 public:
  QtRuntimeServices();
  ~QtRuntimeServices() override;

  // Gives the services the window whose controls they operate on.
  void Attach(MainWindow* window, const WindowDefinition& definition);

  // --- Window controls (QtControlProperties.cpp, QtWindowControls.cpp) ---
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
  int MouseX() override;
  int MouseY() override;
  bool ApplyFlatStyle(int style) override;
  void SetMenuItemChecked(MenuItem item, bool checked) override;
  void MarkText(Control editBox, int start, int length) override;
  int PrepareContent(Control editBox, const Text& text) override;
  bool PutPreparedContent(int prepared) override;
  void DiscardPreparedContent(int prepared) override;
  std::function<Text()> ContentForLater(Control editBox) override;

  // --- Dialogs (QtDialogs.cpp) ---
  bool OpenDialog(Control dialog) override;
  int ShowMessageBox(const Value& message, int style, const std::optional<Text>& caption,
                     std::optional<Control> owner) override;
  bool ShowMessageWithCheckBox(const Text& message, const Text& caption,
                               const Text& checkLabel) override;
  bool ShowProgress(const Text& label, int done, int total) override;
  void EndProgress() override;
  std::optional<VoiceDialogValues> ShowVoiceDialog(
      const VoiceDialogSetup& setup,
      const std::function<Text(const VoiceDialogValues&)>& preview) override;
  bool EditHotKeys(std::vector<HotKeyField>& fields, const HotKeyCheck& check) override;

  // --- File system (QtFileSystem.cpp) ---
  int OpenFile(const Text& path, int mode, int sharing) override;
  Text ReadText(int file, std::optional<int> count) override;
  bool WriteText(int file, const std::vector<Value>& values) override;
  void CloseFile(int file) override;
  bool FileExists(const Text& path) override;
  ByteBuffer ReadFileBytes(const Text& path) override;
  std::optional<ByteBuffer> ReadRegularFile(const Text& path, std::uint64_t maximumSize) override;
  bool WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  bool CreateFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  bool ReplaceFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  FileProblem LastFileProblem() override;
  bool IsSameFile(const Text& first, const Text& second) override;
  bool SaveFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  Text ProgramDirectory() override;
  Text StateDirectory() override;
  Text ConfigDirectory() override;
  Text PrivateFolder(const Text& folder) override;
  Text FallbackDirectory() override;
  PrivateFileCreation CreatePrivateFile(const Text& path,
                                        const std::vector<ByteBuffer>& buffers) override;
  bool ReplacePrivateFile(const Text& path, const std::vector<ByteBuffer>& buffers) override;
  std::vector<Text> FilesInFolder(const Text& folder) override;
  bool RemoveFile(const Text& path) override;

  // --- Threads and time (QtThreads.cpp) ---
  bool StartThread(ThreadRoutine routine, int argument, int* handle) override;
  bool KillThread(int handle) override;
  bool IsThreadRunning(int handle) override;
  int SuspendThread(int handle) override;
  int ResumeThread(int handle) override;
  bool Delay(int milliseconds) override;
  bool DelayWithEvents(int milliseconds) override;
  bool ProcessEvents() override;
  // Ends every worker before the toolkit goes away; never hangs. False when a worker
  // did not end in time (it was left running).
  bool StopAllThreads();
  void RunOnUiThread(const std::function<void()>& work) override;
  void RunLater(int milliseconds, std::function<void()> work) override;
  void RunInBackground(std::function<void()> work) override;
  // Waits, bounded, until the background work given so far is done; false on time-out.
  bool FinishBackgroundWork();
  long long TickCount() override;
  Text LocalTimeStamp() override;

  // --- Network (QtNetwork.cpp) ---
  bool IsOnline() override;
  ByteBuffer FetchUrl(const Text& address, int* httpStatus) override;
  void OpenUrl(const Text& address) override;

  // --- Typing into other windows (QtTyping.cpp) ---
  int FocusedWindow() override;
  CharacterDelivery SendCharacter(int window, const Text& character) override;
  void RestoreKeyboardMap() override;
  void PrepareCharacters(const std::vector<Text>& steps, std::size_t next) override;
  bool CanKeyIntoWindows(const Text& step) override;
  CharacterDelivery PasteIntoWindow(int window, const Text& text, bool terminal) override;
  bool CanPasteIntoWindows() override;
  // At start-up: key codes that a killed copy left borrowed get their mapping back.
  void RestoreKeysOfKilledCopies();

  // --- System hot keys (QtSystemHotKeys.cpp) ---
  int RegisterGlobalHotKey(Control window, Control notifyControl, int modifiers,
                           int keyCode) override;
  bool UnregisterGlobalHotKey(int number) override;
  bool TakesGlobalHotKeys() override;
  void WhenHotKeysKnown(std::function<void(bool takesKeys)> answer) override;
  int RegisterNamedGlobalHotKey(Control window, Control notifyControl, int modifiers, int keyCode,
                                const Text& name, const Text& description) override;

  // --- Settings (QtSettings.cpp) ---
  Text GetSetting(const Text& key) override;
  bool HasSetting(const Text& key) override;
  bool SetSetting(const Text& key, const Text& value) override;

  // --- Bundled libraries (QtLibraries.cpp) ---
  void WriteBundledLibrary(const char* fileName, const std::uint8_t* begin,
                           const std::uint8_t* end) override;
  void* LibraryFunctionAddress(const char* library, const char* function) override;
  ByteBuffer BytesFromMemory(const void* address, int length) override;

  // --- Audio files written as they are made (QtAudioFiles.cpp) ---
  int OpenAudioFile(const Text& path, int sampleRate) override;
  bool WriteAudioFile(int file, const std::uint8_t* pcm, std::size_t bytes) override;
  bool CompleteAudioFile(int file) override;
  bool KeepAudioFile(int file, bool keep) override;

  // --- Processes (QtProcesses.cpp) ---
  int ProcessId() override;
  bool IsProgramRunning(int processId) override;
  void ReportProblem(const Text& line) override;

 private:
  Value GetOnUiThread(Control control, Property property, FontElement element);
  void SetOnUiThread(Control control, Property property, const Value& value, FontElement element);
  Value GetFontElement(QWidget* widget, FontElement element);
  void SetFontElement(QWidget* widget, FontElement element, const Value& value);
  Value GetDialogProperty(const CommonDialogState& dialog, Property property);
  void SetDialogProperty(CommonDialogState& dialog, Property property, const Value& value);

  MainWindow* window_ = nullptr;
  std::unique_ptr<QProgressDialog> progress_;
  std::map<Control, CommonDialogState> dialogs_;
  // Prepared editor texts by number, with the edit box each is for.
  std::mutex preparedMutex_;
  std::map<int, std::pair<Control, QTextDocument*>> prepared_;
  int nextPrepared_ = 1;
  OpenFiles files_;
  WorkerThreads threads_;
  std::unique_ptr<GlobalHotKeys> hotKeys_;        // X11
  std::unique_ptr<PortalHotKeys> portalHotKeys_;  // Wayland
  PortalHotKeys& ShortcutsPortal();
  void RaiseHotKeyFeedback(int number, int second);
  // Declared after threads_: destroyed before them is fine, workers end in the destructor.
  std::unique_ptr<CharacterKeys> keys_;  // used on X11 only
  // Typing into other windows of a Wayland session with a virtual keyboard (sway).
  std::unique_ptr<WaylandKeys> waylandKeys_;
  bool TypesThroughWayland();
  // Typing through the desktop's RemoteDesktop portal, on Wayland sessions without a virtual
  // keyboard (GNOME, KDE): only the layout's keys; the rest is pasted.
  std::unique_ptr<LayoutKeys> layoutKeys_;
  std::unique_ptr<PortalKeys> portalKeys_;  // made and used on the user-interface thread
  bool TypesThroughPortal();
  CharacterDelivery PortalReady();
  CharacterDelivery PortalPress(const std::vector<uint32_t>& keysyms);
  // What the portal cannot key is pasted: the clipboard set without the keyboard focus,
  // where the compositor offers data control (KWin).
  std::unique_ptr<WaylandClipboard> waylandClipboard_;
  // Else through XWayland, which GNOME's mutter adopts whichever window has the keyboard.
  std::unique_ptr<X11Clipboard> x11Clipboard_;
  std::atomic<bool> toldNoWindowTyping_{false};
  Control hotKeyReceiver_ = Control::标签1;
  std::unique_ptr<BackgroundJobs> background_;
};
