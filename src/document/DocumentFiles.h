#pragma once

#include <functional>
#include <optional>

#include "framework/Dialogs.h"
#include "framework/FileSystem.h"
#include "framework/Threads.h"
#include "framework/Uses.h"
#include "framework/WindowControls.h"

// How a script file was encoded when it was read; a save writes it back the same way,
// and the save dialogs' type list may choose another.
enum class TextEncoding {
  Gbk,          // GBK / GB18030 bytes as the editor holds them (new files too)
  Utf8,         // UTF-8 without a byte-order mark
  Utf8WithBom,  // UTF-8 with EF BB BF
  Utf16LeBom,   // UTF-16 little-endian with FF FE
  Utf16BeBom,   // UTF-16 big-endian with FE FF
};

// The script's file: empty name before the first successful open or save.
struct DocumentState {
  Text CurrentFileName;
  TextEncoding encoding = TextEncoding::Gbk;
  // The line break the file came with; the editor's CR LF is written as it.
  Text lineBreak = "\r\n";
  // The script as it was last opened or saved (empty for a new one): text that still
  // equals it has nothing to save, whatever edits led back to it.
  Text savedText;
  // While a typing run is under way the editor holds only part of the script: the
  // whole script it types (nothing when no run is), and how to end the run.
  std::function<std::optional<Text>()> scriptBeingTyped;
  std::function<void()> endTyping;
  // The text has been saved, or replaced by an opened file: its autosave copy goes.
  std::function<void()> textSettled;
  // A file is being opened or saved on a worker: no other open, save or close starts.
  bool busy = false;
  // The program is ending: an open or save under way gives up.
  bool ending = false;
  // A save under way has taken the changed mark: until it succeeds the text still
  // counts as unsaved (a recovery copy is due if the program ends meanwhile).
  bool changesBeingSaved = false;
};

// The largest file 打开 reads; a larger one is refused rather than exhausting memory.
constexpr std::uint64_t kLargestScriptFile = 256ull << 20;

// What became of a save.
enum class SaveOutcome {
  Saved,      // the text is on disk and the change mark cleared
  Failed,     // "保存文件失败!" was shown; the old file and the mark are as they were
  Cancelled,  // the user cancelled the save dialog or the progress box; nothing was written
};

// What became of the changed-text question asked before an open, exit or close.
enum class ChangesOutcome {
  Unchanged,  // nothing to save: no question was asked
  Saved,      // "是" and the save succeeded
  Discarded,  // "否": the changes may go
  Cancelled,  // "取消", or "是" and the save was cancelled or failed
};
// Whether what was about to happen (open, exit, close) may go ahead.
inline bool MayProceed(ChangesOutcome outcome) { return outcome != ChangesOutcome::Cancelled; }

// 按钮3 "保存" (useGivenName false) and the save inside SaveDocumentAs and
// AskToSaveChanges.
SaveOutcome SaveDocument(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                         DocumentState& document, const Text& name, bool useGivenName);
// 按钮4 "另存".
void SaveDocumentAs(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                    DocumentState& document);
// 按钮2 "打开".
void OpenDocument(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                  DocumentState& document);
// What "打开" does once its dialog has named the file (also a file given on the
// command line): read it, or show "打开文件失败!"; on success the title names it.
void OpenDocumentFile(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                      DocumentState& document, const Text& path);
// Reads the file into the editor; true on success. A failed or cancelled read changes
// nothing. Large files are read and made ready on a worker (see RunWithProgress).
bool LoadDocument(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                  DocumentState& document, const Text& path);
// Asks whether to save changed text. A save that fails or is cancelled there
// counts as "取消": nothing may be closed or replaced.
ChangesOutcome AskToSaveChanges(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                                DocumentState& document);
bool IsDocumentChanged(WindowControls& controls);
// Changed text, also while a save of it is under way.
bool HasUnsavedText(WindowControls& controls, const DocumentState& document);
void SetDocumentChanged(WindowControls& controls, bool changed = true);
