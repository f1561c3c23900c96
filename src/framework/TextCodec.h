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

// Converts between iconv encodings; nothing when the input holds any sequence that
// is not valid in the source encoding (no replacement, no cut).
std::optional<std::string> ConvertStrictly(const char* to, const char* from,
                                           std::string_view input);
// Whether the bytes are well-formed UTF-8 (no overlongs, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
