#pragma once

#include "framework/ComponentFiles.h"
#include "framework/Libraries.h"
#include "framework/Uses.h"
#include "framework/WindowControls.h"

// The capture library carried inside the program.
ComponentFile CaptureLibraryFile();

// 按钮5 "截图": hands the capture of a screen area to the capture library, with the
// main window's handle; the window stays as it is. Returns when the capture is over.
void CaptureScreenArea(Uses<WindowControls, Libraries> services);
