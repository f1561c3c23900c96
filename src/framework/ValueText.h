#pragma once

#include <cstdint>

#include "framework/Types.h"

// The text forms of values, as message boxes and written files show them.
Text IntegerText(std::int64_t value);     // decimal, with a minus sign if negative
Text LogicalText(bool value);             // "真" or "假"
Text BytesText(const ByteBuffer& bytes);  // the bytes up to the first zero byte
