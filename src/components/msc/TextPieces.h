#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace msc {

enum class Encoding { Gb18030, Utf8 };

// One decoded character and the number of bytes it took in the caller's text.
struct Character {
  char32_t code;
  std::uint8_t bytes;
};

// Decodes the text; byte sequences that are invalid in the encoding are skipped.
std::vector<Character> Decode(std::string_view text, Encoding encoding);

// [begin, end) indexes into the decoded characters.
struct Piece {
  std::size_t begin;
  std::size_t end;
  std::size_t bytes;  // in the caller's text
};

// Cuts the characters into pieces of at most maxBytes source bytes (maxBytes >= 4)
// that hold no more than 100 characters for the Mandarin voice without a sentence or
// clause end, at the last sentence end that fits, else the last clause end, else the
// last space, else after as many characters as fit but not inside a Latin word or a
// number (unless the word alone is longer than a piece).
std::vector<Piece> CutPieces(const std::vector<Character>& characters, std::size_t maxBytes);

// A stretch of text for one voice: Latin words for the English voice, the rest for
// the Chinese one.
struct Run {
  bool latin;
  std::wstring text;
};

// Splits characters into runs. Control characters become spaces; runs holding only
// spaces and line breaks are dropped.
std::vector<Run> SplitRuns(const Character* begin, const Character* end);

}  // namespace msc
