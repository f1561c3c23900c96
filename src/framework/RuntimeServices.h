#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "framework/Controls.h"
#include "framework/FileProblem.h"
#include "framework/TextOperations.h"
#include "framework/Types.h"
#include "framework/VoiceDialog.h"

// What became of a character sent to another window.
enum class CharacterDelivery {
  Sent,         // pressed and released while the window had the keyboard focus
  NotFocused,   // another window has the focus: nothing was sent
  KeysHeld,     // the user holds a key down: nothing was sent, try again shortly
  KeyBusy,      // no key is free for it yet (all hold characters just typed): try again shortly
  WindowGone,   // the window no longer exists
  Unavailable,  // no way to send keys on this display
};

// What became of a new private file.
enum class PrivateFileCreation {
  Created,
  Taken,   // something has that name already: nothing was written
  Failed,  // the folder cannot be written, the disk is full ...
};

// One key field of the hot-key dialog.
struct HotKeyField {
  Text label;  // the action, as the dialog names it
  Text keys;   // Qt's portable key-sequence text ("Ctrl+Alt+R"); empty for none
};
// Asked about each key the user enters in the hot-key dialog's field number `field`:
// the empty text when it can be used, else the note shown beside the field.
using HotKeyCheck = std::function<Text(int field, const Text& keys)>;

// A worker thread's routine; it receives the argument given to StartThread.
using ThreadRoutine = std::function<void(int argument)>;

// Everything the program's logic may do to the world: controls, dialogs, message
// boxes and files. Handlers receive it by reference and never reach past it.
// Every operation may be called from a worker thread: operations on controls are
// then carried out on the user-interface thread before the call returns.
class RuntimeServices {
 public:
  virtual ~RuntimeServices() = default;

  // --- Controls -------------------------------------------------------------
  // The current value; the font property is read one element at a time.
  virtual Value GetProperty(Control control, Property property,
                            FontElement element = FontElement::None) = 0;
  // Changes the property at once. Font sizes are points, kept as a pixel height.
  virtual void SetProperty(Control control, Property property, const Value& value,
                           FontElement element = FontElement::None) = 0;
  // EM_UNDO, EM_GETMODIFY, EM_SETMODIFY, EM_SETSEL and WM_CLEAR on an edit box;
  // other messages answer 0.
  virtual int SendControlMessage(Control control, int message, int first, int second) = 0;
  // Inserts each text after the last character, scrolled into view; not undoable.
  virtual void AppendText(Control editBox, const std::vector<Text>& texts) = 0;
  // Repaints the control before returning.
  virtual void RefreshNow(Control control) = 0;
  // The native (X11) window id of the window, or of the window holding the control.
  virtual int GetWindowHandle(Control control) = 0;
  // Asks the window to close once the current handler has returned.
  virtual void CloseWindow(Control window) = 0;
  // Shows the menu as a pop-up at the mouse position + (3, 3), or at x, y (screen).
  virtual void PopUpMenu(Control owner, Menu menu, std::optional<int> x = {},
                         std::optional<int> y = {}) = 0;
  // Shows the balloon tip pointing at screen point x, y; icon -1 is none.
  virtual bool ShowBalloon(Control balloon, int x, int y, const Text& text, int icon = -1,
                           const Text& title = Text()) = 0;
  virtual int MouseX() = 0;
  virtual int MouseY() = 0;
  // Styles 1 to 3 switch the flat control style on with their frame colour; any other
  // value switches it off. True when it was switched on.
  virtual bool ApplyFlatStyle(int style) = 0;

  // Runs the work on the user-interface thread and returns when it is done. From a
  // worker that has been asked to end, the work is skipped: a stopped worker can no
  // longer change anything.
  virtual void RunOnUiThread(const std::function<void()>& work) = 0;

  // --- Dialogs --------------------------------------------------------------
  // Shows the common dialog its type selects; true when the user confirmed.
  virtual bool OpenDialog(Control dialog) = 0;
  // A modal message box; the answer is one of MessageBoxAnswer. Without a caption
  // the box says "信息：". Task-modal unless the style asks for system-modal.
  virtual int ShowMessageBox(const Value& message, int style,
                             const std::optional<Text>& caption = std::nullopt,
                             std::optional<Control> owner = std::nullopt) = 0;
  // Shows a modal progress box with a cancel button (or updates the one shown) at done
  // of total and dispatches pending events; false once the user has cancelled.
  virtual bool ShowProgress(const Text& label, int done, int total) = 0;
  // Closes the progress box.
  virtual void EndProgress() = 0;

  // --- Voice settings dialog ------------------------------------------------
  // Shows "语音设置…" modally over the main window, opened on setup.current. While it is
  // open, "试听" calls preview with the values being edited; the dialog shows the text it
  // returns (empty: nothing to say). The values chosen with 确定, nothing on 取消.
  virtual std::optional<VoiceDialogValues> ShowVoiceDialog(
      const VoiceDialogSetup& setup,
      const std::function<Text(const VoiceDialogValues&)>& preview) = 0;

  // --- Bundled libraries and memory -----------------------------------------
  // The address of a bundled library's function, the library looked for in the
  // program's folder first, then through the system's search. A library or
  // function that cannot be found is fatal: the run-time error box, status 255.
  virtual void* LibraryFunctionAddress(const char* library, const char* function) = 0;
  // A copy of length bytes at the address (memory handed out by a library).
  virtual ByteBuffer BytesFromMemory(const void* address, int length) = 0;

  // --- Text and data conversion (the same for every implementation) ----------
  int TextLength(const Text& text) { return ::TextLength(text); }
  Text MidText(const Text& text, int start, int count) { return ::MidText(text, start, count); }
  int FindText(const Text& text, const Text& sought, int start = 1, bool ignoreCase = false) {
    return ::FindText(text, sought, start, ignoreCase);
  }
  Text ToFullWidth(const Text& text) { return ::ToFullWidth(text); }
  Text ToHalfWidth(const Text& text) { return ::ToHalfWidth(text); }
  double ToNumber(const Text& text) { return ::ToNumber(text); }
  double ToNumber(double value) { return value; }
  Text ToText(const Value& value) { return ::ToText(value); }
  ByteBuffer ToBytes(std::int32_t value) { return ::ToBytes(value); }
  ByteBuffer ToBytes(std::int16_t value) { return ::ToBytes(value); }
  ByteBuffer ToBytes(const Text& text) { return ::ToBytes(text); }
  int ByteCount(const ByteBuffer& bytes) { return ::ByteCount(bytes); }

  // --- Open files -------------------------------------------------------------
  // Modes: 1 read (must exist), 2 write (must exist), 3 read and write (must
  // exist), 4 write (created, emptied), 5 write (created if missing), 6 read and
  // write (created if missing). Sharing: 1 others may do anything, 2 others may
  // not read, 3 others may not write, 4 neither. The file number, 0 on failure.
  virtual int OpenFile(const Text& path, int mode = 3, int sharing = 1) = 0;
  // Reads up to count bytes (default: the file's length) as text, ending before a
  // zero byte, a byte 0x1A, or a lead byte followed by a zero byte; the file
  // position is then left on that byte. Empty on failure (position at the end).
  virtual Text ReadText(int file, std::optional<int> count = std::nullopt) = 0;
  // Writes each value's text form; on failure the position goes back to where
  // the call began and the result is false.
  virtual bool WriteText(int file, const std::vector<Value>& values) = 0;
  virtual void CloseFile(int file) = 0;

  // --- Network and shell ---------------------------------------------------------
  // Whether the computer looks online (an interface up with a default route).
  virtual bool IsOnline() = 0;
  // An HTTP/1.0 GET of the address; the body, partial on a failure midway, empty
  // when nothing arrived. httpStatus receives the response status: 0 when no
  // response arrived, and also when a success response's body was cut short.
  // Bounded by short time-outs and a size cap: a larger body is a failure.
  virtual ByteBuffer FetchUrl(const Text& address, int* httpStatus = nullptr) = 0;
  // Opens the address with the user's browser or the handler of its scheme.
  virtual void OpenUrl(const Text& address) = 0;

  // --- Hot keys, threads and time -------------------------------------------
  // A system-wide hot key: modifiers a sum of 1 Ctrl, 2 Shift, 4 Alt and 8 Super (so
  // 5 is Ctrl+Alt); keyCode a Windows virtual-key code. Numbers count up
  // from 33001 for every call, a refused key using up its number; 0 when refused.
  // A press raises the feedback event of notifyControl with (number, 0).
  virtual int RegisterGlobalHotKey(Control window, Control notifyControl, int modifiers,
                                   int keyCode) = 0;
  // Modifier code 0 (the key alone) is accepted too. Gives a registered key back; false
  // for a number that holds nothing.
  virtual bool UnregisterGlobalHotKey(int number) = 0;
  // Starts a thread running routine(argument); its handle goes to *handle.
  virtual bool StartThread(ThreadRoutine routine, int argument = 0, int* handle = nullptr) = 0;
  // Asks the thread to end: its next Delay, DelayWithEvents or ProcessEvents
  // returns false at once. Threads are never killed from outside.
  // Once a thread has been asked to end, its requests on controls change nothing.
  virtual bool KillThread(int handle) = 0;
  // True while the thread's routine has not returned.
  virtual bool IsThreadRunning(int handle) = 0;
  // Cooperative pause: the thread stops at its next Delay, DelayWithEvents or
  // ProcessEvents until resumed. Both return the previous suspend count, -1 for an
  // unknown handle.
  virtual int SuspendThread(int handle) = 0;
  virtual int ResumeThread(int handle) = 0;
  // Milliseconds on a steady clock (the tick count).
  virtual long long TickCount() = 0;
  // Sleeps (a negative time counts as 0). On a worker, false when the thread was
  // asked to end (at once, without sleeping on).
  virtual bool Delay(int milliseconds) = 0;
  // Waits while dispatching the calling thread's events; false as Delay.
  virtual bool DelayWithEvents(int milliseconds) = 0;
  // Dispatches the calling thread's pending events; false as Delay.
  virtual bool ProcessEvents() = 0;

  // --- Typing into other programs' windows -----------------------------------
  // The top-level window that has the keyboard focus; 0 when none has, or when it is
  // one of this program's own windows.
  virtual int FocusedWindow() = 0;
  // Sends one step of a script (a character; CR LF, LF or CR as Return, TAB as Tab) to
  // the window as key presses and releases, only if it has the keyboard focus at that
  // moment. An empty text sends nothing: the answer then only tells whether it would.
  virtual CharacterDelivery SendCharacter(int window, const Text& character) = 0;
  // Puts the keyboard map back as it was before the first SendCharacter.
  virtual void RestoreKeyboardMap() = 0;

  // --- Typing ahead into other windows ----------------------------------------
  // Called between the steps of a run with its steps and the index of the next one: when
  // that one would need a change of the keyboard map, one change now readies as many of
  // the coming steps as the map has room for, so that no step waits for a change at its
  // time and the map changes seldom.
  virtual void PrepareCharacters(const std::vector<Text>& steps, std::size_t next) = 0;

  // --- Settings and menus -----------------------------------------------------
  // The value remembered between runs under the key ("group/name"); empty when none.
  virtual Text GetSetting(const Text& key) = 0;
  // Remembers the value at once; false when it could not be stored.
  virtual bool SetSetting(const Text& key, const Text& value) = 0;
  // Shows or clears the check mark of a checkable menu item.
  virtual void SetMenuItemChecked(MenuItem item, bool checked) = 0;
  // Marks bytes [start, start + length) of the edit box's content with a background
  // colour, replacing the previous mark; length 0 clears it. The text, its undo
  // history and its changed mark stay as they are.
  virtual void MarkText(Control editBox, int start, int length) = 0;

  // --- Bundled libraries ----------------------------------------------------
  // Puts a bundled library's bytes under its file name into this run's library
  // folder (nothing when the libraries are installed): written when missing, and
  // replaced when an earlier build wrote it or when it cannot be a library at all;
  // a copy the user put there is kept. Failures are not reported.
  virtual void WriteBundledLibrary(const char* fileName, const std::uint8_t* begin,
                                   const std::uint8_t* end) = 0;

  // --- Hot keys the user chooses ------------------------------------------------
  // Whether anything is stored under the key at all (an empty value counts).
  virtual bool HasSetting(const Text& key) = 0;
  // The modal hot-key dialog, a key field per entry: a field takes the next key
  // combination pressed (Ctrl, Alt or Super with a key, or a function key alone), Delete
  // or Backspace clears it, and a key taken from another field leaves that one empty.
  // check answers for every key entered; OK does nothing while a field shows a note. True
  // on OK, with the fields' keys as the user left them.
  virtual bool EditHotKeys(std::vector<HotKeyField>& fields, const HotKeyCheck& check) = 0;
  // Shows the text in the balloon pointing at the control for ten seconds, without
  // waiting; before the main window is first shown, once it is.
  virtual void ShowBalloonAtControl(Control balloon, Control control, const Text& text) = 0;

  // --- Whole files ----------------------------------------------------------
  // The folder of the running program, without a trailing separator.
  virtual Text ProgramDirectory() = 0;
  virtual bool FileExists(const Text& path) = 0;
  // The whole file, or the empty buffer when it cannot be read.
  virtual ByteBuffer ReadFileBytes(const Text& path) = 0;
  // The whole file when it is a regular file of at most maximumSize bytes; nothing
  // otherwise (a FIFO or device is never waited on) or when it cannot be read.
  virtual std::optional<ByteBuffer> ReadRegularFile(const Text& path,
                                                    std::uint64_t maximumSize) = 0;
  // Creates or empties the file and writes the buffers in order; false on any failure.
  virtual bool WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;
  // Writes a new file through a temporary file in the same folder that takes the
  // name only once complete: false if the name exists already or anything fails.
  virtual bool CreateFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;
  // Replaces (or creates) the file the same way, keeping its permission bits; on
  // any failure the old file is left as it was.
  virtual bool ReplaceFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;
  // The program's private folder for files kept across runs (recovery copies):
  // $XDG_STATE_HOME/orvane-notepad, ~/.local/state/orvane-notepad without it, created
  // with mode 0700 when missing. Empty when it cannot be made.
  virtual Text StateDirectory() = 0;
  // The local date and time as YYYYMMDD-HHMMSS.
  virtual Text LocalTimeStamp() = 0;

  // --- Audio files written as they are made (narration export) --------------
  // A temporary file beside path, in the format its name asks for (.wav, RF64 once past
  // 4 GB; .flac; .ogg Vorbis; .opus; .mp3), takes 16-bit little-endian mono PCM and the
  // name only once kept, so memory stays flat however long the audio. OpenAudioFile:
  // a handle above 0, or 0 when the name is none of those formats or the folder cannot
  // be written to. CompleteAudioFile finishes the encoding and closes the file;
  // KeepAudioFile then names it (keep) or removes it, and releases the handle.
  virtual int OpenAudioFile(const Text& path, int sampleRate) = 0;
  virtual bool WriteAudioFile(int file, const std::uint8_t* pcm, std::size_t bytes) = 0;
  virtual bool CompleteAudioFile(int file) = 0;
  virtual bool KeepAudioFile(int file, bool keep) = 0;

  // --- The user's configuration folder --------------------------------------
  // $XDG_CONFIG_HOME/orvane-notepad (~/.config/orvane-notepad), where the settings file
  // and the pronunciation list live; made when missing.
  virtual Text ConfigDirectory() = 0;

  // --- Copies of unsaved text (autosave and recovery) --------------------------
  // Makes the folder (missing parents too) and checks that it is the user's own, not a
  // symbolic link, and mode 0700 (made so); the folder, or empty when it is unusable.
  virtual Text PrivateFolder(const Text& folder) = 0;
  // The private folder used when the state folder cannot be written: under
  // $XDG_RUNTIME_DIR, else in the temporary directory. Empty when none can be made.
  virtual Text FallbackDirectory() = 0;
  // Writes a new file of mode 0600 that takes its name only once complete. Taken when
  // anything has the name (a dangling symbolic link too: it is never followed).
  virtual PrivateFileCreation CreatePrivateFile(const Text& path,
                                                const std::vector<ByteBuffer>& buffers) = 0;
  // Replaces (or creates) the file the same way; a symbolic link at the name is
  // replaced, not followed. On failure the old file is as it was.
  virtual bool ReplacePrivateFile(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;
  // The names of the regular files in the folder.
  virtual std::vector<Text> FilesInFolder(const Text& folder) = 0;
  // Removes the file (not a folder); false when it could not be removed.
  virtual bool RemoveFile(const Text& path) = 0;
  // This process's id; whether another running process with that id is this program.
  virtual int ProcessId() = 0;
  virtual bool IsProgramRunning(int processId) = 0;
  // Writes the line to standard error (the program has no log).
  virtual void ReportProblem(const Text& line) = 0;
  // On the user-interface thread: runs the work there once, after the delay.
  virtual void RunLater(int milliseconds, std::function<void()> work) = 0;
  // Runs the work on the program's background worker for files, one piece of work at a
  // time in the order given; returns at once. Work still queued at exit is done first.
  virtual void RunInBackground(std::function<void()> work) = 0;

  // --- The user's files -------------------------------------------------------
  // Why the calling thread's last failed file operation failed (OpenFile,
  // ReadRegularFile, the writes); meaningful only right after a failure.
  virtual FileProblem LastFileProblem() = 0;
  // Whether both paths lead to one existing file (device and inode, after links).
  virtual bool IsSameFile(const Text& first, const Text& second) = 0;
  // Saves a file of the user's as ReplaceFileBytes does, and keeps its owner, group and
  // other hard links (writing it in place, after a copy of the old bytes beside it, where
  // a replacement could not); follows a link only where the kernel's protection of links
  // in shared folders would. From a worker that is asked to stop, a replacement under
  // way is abandoned and the old file kept.
  virtual bool SaveFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) = 0;

  // --- Large texts: the editor's new content made ready on a worker -----------
  // Builds the edit box's next content on the calling thread (a worker), so that the
  // user-interface thread only has to put it in. Its number, or 0 when the calling
  // worker was asked to stop meanwhile.
  virtual int PrepareContent(Control editBox, const Text& text) = 0;
  // Makes a prepared text the edit box's content, as SetProperty Content does (the
  // modification flag and undo cleared); false for a number that holds none. Skipped,
  // false, for a worker that was asked to stop.
  virtual bool PutPreparedContent(int prepared) = 0;
  // Lets go of a prepared text that will not be put in; any thread.
  virtual void DiscardPreparedContent(int prepared) = 0;

  // --- Large texts: the editor's content taken now, converted elsewhere --------
  // Takes the edit box's content as it is now (a quick copy on the user-interface
  // thread); the returned call gives it as Text and does the conversion on whichever
  // thread calls it, so that a large text is converted off the window's thread.
  virtual std::function<Text()> ContentForLater(Control editBox) = 0;

  // --- Hot keys the desktop binds (Wayland sessions) ---------------------------
  // Whether system-wide keys can be taken by the program itself in this session; false
  // on a Wayland session, where only the desktop binds keys (to `--action` commands).
  virtual bool TakesGlobalHotKeys() = 0;
  // A modal message box with OK and a check box labelled checkLabel under the text;
  // true when the check box was ticked as the box closed.
  virtual bool ShowMessageWithCheckBox(const Text& message, const Text& caption,
                                       const Text& checkLabel) = 0;
};
