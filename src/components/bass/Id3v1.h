#pragma once

#include <array>
#include <optional>

#include "ByteSource.h"

namespace bass {

// The 128-byte ID3v1 block ("TAG" first) at the end of complete data, with a zero
// byte after it so that it can be read as a string; nothing when there is none.
std::optional<std::array<char, 129>> FindId3v1(ByteSource& source);

}  // namespace bass
