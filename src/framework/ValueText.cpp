#include "framework/ValueText.h"

#include <algorithm>

// This file is compiled with GB18030 literals.
Text IntegerText(std::int64_t value) { return std::to_string(value); }

Text LogicalText(bool value) { return value ? "真" : "假"; }

Text BytesText(const ByteBuffer& bytes) {
  auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return Text(bytes.begin(), end);
}
