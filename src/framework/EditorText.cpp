#include "framework/EditorText.h"

#include <algorithm>
#include <array>

#include "framework/TextCodec.h"

namespace {

constexpr char16_t kParagraphSeparator = u'\u2029';

// Characters of the text that the document would change, each with the lone low
// surrogate that stands for it (below the stray bytes' DC80..DCFF).
constexpr std::array<std::pair<char16_t, char16_t>, 5> kHeld = {{
    {kBareLineFeed, 0xDC01},
    {kParagraphSeparator, 0xDC02},
    {kBareCarriageReturn, 0xDC03},
    {u'\uFDD0', 0xDC04},
    {u'\uFDD1', 0xDC05},
}};

}  // namespace

std::u16string EditorUnitsFromText(std::string_view text) {
  std::u16string units = Utf16FromText(text);
  // Rewritten in place: the result is never longer.
  std::size_t out = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char16_t c = units[i];
    if (c == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n') {
      c = u'\n';
      ++i;
    } else if (c == u'\n') {
      c = kBareLineFeed;
    } else if (c == u'\r') {
      c = kBareCarriageReturn;
    } else {
      for (const auto& [character, held] : kHeld) {
        if (c == character) c = held;
      }
    }
    units[out++] = c;
  }
  units.resize(out);
  return units;
}

Text TextFromEditorUnits(std::u16string_view units) {
  std::u16string restored;
  restored.reserve(units.size() + units.size() / 16);
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      // A character beyond the first plane: its low half is no held character.
      restored.push_back(c);
      restored.push_back(units[++i]);
    } else if (c == u'\n' || c == kParagraphSeparator) {
      restored += u"\r\n";
    } else if (c == kBareLineFeed) {
      restored.push_back(u'\n');
    } else if (c == kBareCarriageReturn) {
      restored.push_back(u'\r');
    } else {
      const auto held = std::find_if(kHeld.begin(), kHeld.end(),
                                     [c](const auto& pair) { return pair.second == c; });
      restored.push_back(held != kHeld.end() ? held->first : c);
    }
  }
  return TextFromUtf16(restored);
}

std::u16string ReadableFromEditorUnits(std::u16string_view units) {
  std::u16string readable(units);
  for (std::size_t i = 0; i < readable.size(); ++i) {
    char16_t& c = readable[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < readable.size() && readable[i + 1] >= 0xDC00 &&
        readable[i + 1] <= 0xDFFF) {
      ++i;  // a character beyond the first plane
    } else if (c == kParagraphSeparator || c == kBareLineFeed) {
      c = u'\n';
    } else if (c == kBareCarriageReturn) {
      c = u'\r';
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      const auto held = std::find_if(kHeld.begin(), kHeld.end(),
                                     [c](const auto& pair) { return pair.second == c; });
      c = held != kHeld.end() ? held->first : u'\uFFFD';
    }
  }
  return readable;
}
