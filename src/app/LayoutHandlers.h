#pragma once

#include "app/Program.h"

// The handlers of the main window that belong to no other subsystem.
void CompactLayout(Program& program);    // 按钮13 "上移": the editor fills the window
void RestoreLayout(Program& program);    // menu "上移还原": back to the design layout
void ClearEditor(Program& program);      // 按钮9 "清空"
void TitleFromBanner(Program& program);  // 编辑框2 changed: its text becomes the title
void ShowMainMenu(Program& program);     // mouse over 透明标签1: the hidden menu pops up
