#pragma once

#include <QFont>
#include <QString>

#include "framework/WindowDefinition.h"

class QWidget;

// A control's font as the program sees it: a character height in pixels (negative,
// as the design data and the font property exchange it), an angle kept for the
// program though edit boxes draw horizontally, the face name as it was set, and
// the styles.
struct ControlFont {
  int height = 0;
  int angle = 0;
  bool bold = false;
  bool italic = false;
  bool strikeOut = false;
  bool underline = false;
  QString faceName;
};

ControlFont FontOf(const QWidget* widget);
void SetFont(QWidget* widget, const ControlFont& font);
// The design font; an empty face and a zero height keep the framework's default.
void ApplyDesignFont(QWidget* widget, const FontDefinition& font);

// The font every control starts with unless its design names another: 宋体, 12 pixels.
QFont DefaultControlFont();
