#pragma once

#include "aids/HotKeys.h"
#include "app/Program.h"

// What each hot-key action does, whether it came as a key press or from outside
// (`orvane-notepad --action NAME`): the same as the action's button, except that the
// typing action pauses and continues a run into another window as its key always did.
void RunProgramAction(Program& program, HotKeyAction action);

// Another process asked for an action by its name; unknown names do nothing.
void ActionRequested(Program& program, const Text& name);

// A second start of the program asked to open the file: as "打开" does once the file is
// named, after asking about this copy's unsaved changes.
void OpenRequested(Program& program, const Text& path);
