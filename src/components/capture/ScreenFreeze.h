#pragma once

#include <QDateTime>
#include <QImage>
#include <QRect>

// The whole desktop as it looked at one moment.
struct FrozenScreen {
  QImage picture;  // device pixels, every screen at its own full resolution
  QRect area;      // the desktop area the picture covers, in Qt's logical coordinates
  QDateTime taken;
};

// Grabs every screen and composes the grabs over the virtual desktop. The picture is null
// when no screen could be grabbed.
FrozenScreen FreezeScreens();
