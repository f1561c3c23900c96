#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "framework/Types.h"

// Conversion between the program's GB18030 text and UTF-8, for the boundaries
// (toolkit, file names). Bytes that are not valid in the source encoding become
// U+FFFD (or "?" where GB18030 is the target), never a cut.
std::string Utf8FromText(std::string_view text);
Text TextFromUtf8(std::string_view utf8);

// The text as UTF-16 without loss, and back. A byte that starts no GB18030
// character becomes the lone low surrogate U+DC00 + byte, except 0x80, which is the
// euro sign (as code page 936 has it); the euro sign goes back to 0x80.
std::u16string Utf16FromText(std::string_view text);
// A character GB18030 cannot hold (a lone high surrogate, a few private-use
// characters) becomes "?".
Text TextFromUtf16(std::u16string_view units);
// The same, but nothing when a character has no place in the text, or when the
// units hold lone surrogates (a file's characters never do).
std::optional<Text> TextFromUtf16Strictly(std::u16string_view units);

// Loads the C library's GB18030 converter once for the whole run. The library
// unloads a converter module when its last descriptor closes, so conversions on
// several threads would load and unload it again and again; every conversion here
// calls this before it opens a descriptor.
void KeepTextConverterLoaded();

// Converts between iconv encodings; nothing when the input holds any sequence that
// is not valid in the source encoding (no replacement, no cut).
std::optional<std::string> ConvertStrictly(const char* to, const char* from,
                                           std::string_view input);
// Whether the bytes are well-formed UTF-8 (no overlongs, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
