#pragma once

#include "app/Program.h"

// The created handler of _启动窗口: runs while the window is still hidden.
void MainWindowCreated(Program& program);
// The destroyed handler of _启动窗口.
void MainWindowDestroyed(Program& program);
// Menu "退出": closes the main window, which ends the program.
void ExitProgram(Program& program);
// The exit routine: releases the program-wide values once the message loop ended.
void ReleaseProgram(Program& program);
