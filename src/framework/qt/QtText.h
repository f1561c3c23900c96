#pragma once

#include <QString>

#include "framework/EditorText.h"
#include "framework/Types.h"

// The program's GB18030 text at the Qt boundary.
QString ToQString(const Text& text);
Text FromQString(const QString& text);

// An edit box's text as its document holds it, and back, byte for byte (see
// framework/EditorText.h). A U+2028 or U+240D typed by the user reads back as LF
// or CR.
QString EditorStringFromText(const Text& text);
Text TextFromEditorString(const QString& text);
