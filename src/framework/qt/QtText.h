#pragma once

#include <QString>

#include "framework/Types.h"

// The program's GB18030 text at the Qt boundary.
QString ToQString(const Text& text);
Text FromQString(const QString& text);

// An edit box holds lines separated by CR LF. Qt's text document knows only
// paragraphs, so a bare LF and a bare CR are kept as characters of their own
// that read back as the same bytes: LF as U+2028 (drawn as a line break), CR
// as U+240D. A U+2028 or U+240D typed by the user reads back as LF or CR.
QString EditorStringFromText(const Text& text);
Text TextFromEditorString(const QString& text);

constexpr char16_t kBareLineFeed = u'\u2028';
constexpr char16_t kBareCarriageReturn = u'\u240D';
