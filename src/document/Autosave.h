#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "document/DocumentFiles.h"
#include "framework/Processes.h"

// While the text has unsaved changes, a copy of it is kept in the autosave folder
// ($XDG_STATE_HOME/orvane-notepad/autosave, or the private fallback folder): PID.txt
// holds the text in the script's own encoding, PID.info the document's path, that
// encoding and the process id. The copy is written on the background worker at most
// this long after an edit; a keystroke only notes that one is due.
constexpr int kAutosaveDelayMilliseconds = 1000;

struct AutosaveState {
  // What the background work shares with the user-interface thread.
  struct Shared {
    std::mutex writing;              // held by whoever writes or removes the copy
    std::atomic<int> generation{0};  // work given before a newer generation is skipped
    std::optional<Text> folder;      // the autosave folder in use, once chosen; empty: none
    bool fellBack = false;           // the fallback folder has been reported
  };
  std::shared_ptr<Shared> shared = std::make_shared<Shared>();
  bool due = false;         // a write has been asked for and not yet made
  bool keepAtExit = false;  // the program ends without the user's say: the copy stays
  bool ended = false;       // the program is ending: no more copies are taken
  // Delayed work holds this weakly: it does nothing once the state is gone.
  std::shared_ptr<int> alive = std::make_shared<int>(0);
};

// The text file and side file of this copy of the program: in the state folder's
// autosave folder, else the fallback folder's (said on standard error once chosen).
// Empty when neither can be used.
Text AutosaveTextPath(Uses<FileSystem, Processes> services, const AutosaveState& autosave);
Text AutosaveInfoPath(Uses<FileSystem, Processes> services, const AutosaveState& autosave);

// The editor's text changed: a copy is written kAutosaveDelayMilliseconds later.
void AutosaveTextChanged(Uses<WindowControls, FileSystem, Threads, Processes> services,
                         DocumentState& document, AutosaveState& autosave);
// Takes the text now and gives its writing to the background worker; an unchanged or
// empty text removes the copy instead.
void WriteAutosaveCopy(Uses<WindowControls, FileSystem, Threads, Processes> services,
                       DocumentState& document, AutosaveState& autosave);
// The text was saved or discarded: its copy goes (on the background worker).
void DiscardAutosaveCopy(Uses<FileSystem, Threads, Processes> services, AutosaveState& autosave);
// The program is ending: no copy is taken any more, and unless an end without the
// user's say has kept it, the copy goes.
void EndAutosave(Uses<FileSystem, Threads, Processes> services, AutosaveState& autosave);
// For an end without the user's say (signal, lost display, fatal error): writes the
// copy of the text (the whole script, as the caller took it) now, on the calling thread,
// and keeps it for the next start.
bool KeepAutosaveCopyNow(Uses<WindowControls, FileSystem, Processes> services,
                         DocumentState& document, AutosaveState& autosave, const Text& text);

// At start: a copy left by a copy of the program that no longer runs is offered back,
// "发现上次未保存的文字，是否恢复？". Yes puts it into the editor, marked changed, under the
// document's old path; No moves it to a recovered-....txt file. True when text was
// put into the editor.
bool OfferAutosavedText(Uses<WindowControls, Dialogs, FileSystem, Threads, Processes> services,
                        DocumentState& document, AutosaveState& autosave);
