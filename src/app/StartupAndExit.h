#pragma once

#include <optional>

#include "app/Program.h"

// The created handler of _启动窗口: runs while the window is still hidden.
void MainWindowCreated(Program& program);
// The destroyed handler of _启动窗口.
void MainWindowDestroyed(Program& program);
// Menu "退出": asks about changed text, then closes the main window, which ends
// the program.
void ExitProgram(Program& program);
// Any request to close the main window; false keeps it open (the user cancelled
// the question about changed text).
bool MainWindowCloseRequested(Program& program);
// An end without the user's say (signal, lost display, fatal error): unsaved text goes to
// a new recovery copy, and the autosave copy is brought up to date and kept for the
// next start. Nothing when there was no unsaved text; the recovery copy's path, empty
// when it could not be written.
std::optional<Text> KeepUnsavedText(Program& program);
// At start: offers back the text a copy of the program left unsaved when it ended;
// true when it is in the editor.
bool OfferTextOfEarlierRun(Program& program);
// SIGTERM, SIGINT or SIGHUP: unsaved text goes to a recovery copy, then the main window
// closes without questions, so the program ends through its normal exit. Nothing when
// there was no unsaved text; the copy's path, empty when it could not be written.
std::optional<Text> EndOnSignal(Program& program);
// The exit routine: releases the program-wide values once the message loop ended.
void ReleaseProgram(Program& program);
