#pragma once

#include "app/Program.h"

// The handlers of the main window that belong to no other subsystem.
void CompactLayout(WindowControls& controls);    // 按钮13 "上移": the editor fills the window
void RestoreLayout(WindowControls& controls);    // menu "上移还原": back to the design layout
void ClearEditor(Program& program);              // 按钮9 "清空": also ends a typing run
void TitleFromBanner(WindowControls& controls);  // 编辑框2 changed: its text becomes the title
void ShowMainMenu(WindowControls& controls);  // mouse over 透明标签1: the hidden menu pops up
