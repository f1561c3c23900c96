// FindText, MidText, ToNumber, full-width/half-width and character stepping over any
// bytes, with the properties their callers rely on.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>

#include "framework/TextOperations.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool FoldedEqual(const Text& a, const Text& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y && (x ^ 0x20) != y) return false;
    if (x != y && !((x | 0x20) >= 'a' && (x | 0x20) <= 'z')) return false;
  }
  return true;
}

bool PrintableAscii(const Text& text) {
  for (const char c : text)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const int start = input.ConsumeIntegralInRange<int>(-2, 64);
  const int count = input.ConsumeIntegralInRange<int>(-2, 64);
  const bool ignoreCase = input.ConsumeBool();
  const Text sought = input.ConsumeRandomLengthString(8);
  const Text text = input.ConsumeRemainingBytesAsString();

  const int found = FindText(text, sought, start, ignoreCase);
  Require(found == -1 || (found >= 1 && static_cast<std::size_t>(found) <= text.size()));
  if (found != -1 && !sought.empty()) {
    const Text match = MidText(text, found, static_cast<int>(sought.size()));
    Require(ignoreCase ? FoldedEqual(match, sought) : match == sought);
    Require(found >= start);
  }

  const Text middle = MidText(text, start, count);
  Require(middle.size() <= static_cast<std::size_t>(std::max(count, 0)));
  Require(middle.empty() ||
          text.compare(static_cast<std::size_t>(start - 1), middle.size(), middle) == 0);

  const Text full = ToFullWidth(text);
  Require(full.size() <= 2 * text.size());
  if (PrintableAscii(text)) Require(ToHalfWidth(full) == text);
  Require(ToHalfWidth(text).size() <= text.size());
  Require(!std::isnan(ToNumber(text)));

  std::size_t at = 0;
  while (at < text.size()) {
    const int length = CharacterLengthAt(text, at);
    Require(length >= 1 && length <= 4);
    at += static_cast<std::size_t>(length);
  }
  Require(at == text.size());
  return 0;
}
