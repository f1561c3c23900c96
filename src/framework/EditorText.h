#pragma once

#include <string>
#include <string_view>

#include "framework/Types.h"

// The text of an edit box as the toolkit's UTF-16 holds it, and back, without loss:
// every text comes back byte for byte.
//
// The toolkit's document knows only paragraphs, so CR LF is the paragraph break, a
// bare LF is U+2028 (drawn as a line break) and a bare CR is U+240D (drawn as a
// CR symbol). Bytes that start no GB18030 character stay as lone low surrogates
// (drawn as a replacement mark), and a byte 0x80 is the euro sign (code page 936).
// Characters the document would take for something else (U+2028, U+2029, U+240D
// and the frame marks U+FDD0, U+FDD1) are held as lone low surrogates of their own
// and come back as themselves.
std::u16string EditorUnitsFromText(std::string_view text);
// Also takes the document's paragraph separators (LF or U+2029) as CR LF.
Text TextFromEditorUnits(std::u16string_view units);

// The units as other programs should read them (the clipboard): line breaks are LF
// (a bare CR is CR), held characters are themselves again and a stray byte is the
// replacement character U+FFFD.
std::u16string ReadableFromEditorUnits(std::u16string_view units);

constexpr char16_t kBareLineFeed = u'\u2028';
constexpr char16_t kBareCarriageReturn = u'\u240D';
