#pragma once

#include <string>
#include <string_view>

#include "framework/Types.h"

// Conversion between the program's GB18030 text and UTF-8, for the boundaries
// (toolkit, file names). Bytes that are not valid in the source encoding become
// U+FFFD (or "?" where GB18030 is the target), never a cut.
std::string Utf8FromText(std::string_view text);
Text TextFromUtf8(std::string_view utf8);
