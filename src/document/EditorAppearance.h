#pragma once

#include "framework/Dialogs.h"
#include "framework/FileSystem.h"
#include "framework/Settings.h"
#include "framework/Uses.h"
#include "framework/WindowControls.h"

// 按钮8 "字体": the font dialog's choice becomes the whole editor's font and colour,
// and is remembered in the settings (editor/*).
void ChooseEditorFont(Uses<WindowControls, Dialogs, Settings> services);
// At start-up: the editor's font and colour as last chosen; what the settings do not
// hold, or hold in a form that is not understood, keeps the design's value.
void RestoreEditorFont(Uses<WindowControls, Settings> services);
// 按钮6 "撤销": the editor's own one-step undo.
void UndoEdit(WindowControls& controls);
// Right mouse button on 图片框1: another picture for the logo box.
void ChooseLogoPicture(Uses<WindowControls, Dialogs, FileSystem> services);
