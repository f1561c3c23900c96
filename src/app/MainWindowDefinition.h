#pragma once

#include "framework/WindowDefinition.h"

// The design of the main window _启动窗口: every control with its design values,
// and the hidden menu "菜单".
WindowDefinition MainWindowDefinition();

// The logo shown in 图片框1 at start, a 140 x 88 JPEG.
ByteBuffer LogoPicture();
