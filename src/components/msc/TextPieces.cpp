#include "TextPieces.h"

#include <iconv.h>

namespace msc {

namespace {

// Length of the GB18030 sequence starting at text[i] by its structure alone, or 0 when
// the bytes cannot start a character. *cut is set when they start one that the text
// ends too early for.
std::size_t Gb18030Length(std::string_view text, std::size_t i, bool* cut) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const std::size_t left = text.size() - i;
  *cut = false;
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  if (lead == 0x80 || lead == 0xFF) return 0;
  if (left < 2) {
    *cut = true;
    return 0;
  }
  const unsigned char second = byte(i + 1);
  if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE)) return 2;
  if (second < 0x30 || second > 0x39) return 0;
  if (left < 4) {
    *cut = left < 3 || (byte(i + 2) >= 0x81 && byte(i + 2) <= 0xFE);
    return 0;
  }
  const unsigned char third = byte(i + 2);
  const unsigned char fourth = byte(i + 3);
  if (third < 0x81 || third > 0xFE || fourth < 0x30 || fourth > 0x39) return 0;
  return 4;
}

void DecodeGb18030(std::string_view text, std::vector<Character>& out) {
  iconv_t converter = iconv_open("UTF-32LE", "GB18030");
  std::size_t i = 0;
  while (i < text.size()) {
    bool cut = false;
    const std::size_t length = Gb18030Length(text, i, &cut);
    if (cut) break;  // a character the text ends in the middle of
    if (length == 0) {
      ++i;
      continue;
    }
    if (length == 1) {
      out.push_back({static_cast<unsigned char>(text[i]), 1});
      ++i;
      continue;
    }
    if (converter != reinterpret_cast<iconv_t>(-1)) {
      char source[4];
      text.copy(source, length, i);
      unsigned char target[8];
      char* in = source;
      char* outPointer = reinterpret_cast<char*>(target);
      std::size_t inLeft = length;
      std::size_t outLeft = sizeof target;
      // An unassigned sequence converts to nothing and is skipped whole.
      if (iconv(converter, &in, &inLeft, &outPointer, &outLeft) != static_cast<std::size_t>(-1) &&
          sizeof target - outLeft == 4) {
        const char32_t code =
            target[0] | target[1] << 8 | target[2] << 16 | static_cast<char32_t>(target[3]) << 24;
        out.push_back({code, static_cast<std::uint8_t>(length)});
      }
    }
    i += length;
  }
  if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
}

void DecodeUtf8(std::string_view text, std::vector<Character>& out) {
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
      minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
      minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
      minimum = 0x10000;
    }
    bool valid = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      code = code << 6 | (next & 0x3F);
    }
    valid = valid && code >= minimum && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    if (!valid) {
      ++i;
      continue;
    }
    out.push_back({code, static_cast<std::uint8_t>(length)});
    i += length;
  }
}

bool IsCloser(char32_t c) {
  return c == U'”' || c == U'’' || c == U'」' || c == U'』' || c == U'）' || c == U')' ||
         c == U'"' || c == U'\'';
}

bool IsSentenceEnd(const std::vector<Character>& characters, std::size_t i) {
  switch (characters[i].code) {
    case U'。':
    case U'！':
    case U'？':
    case U'；':
    case U'…':
    case U'．':
    case U'!':
    case U'?':
    case U';':
    case U'\n':
      return true;
    case U'.': {  // not inside numbers and names such as 3.14 or www.example.com
      if (i + 1 == characters.size()) return true;
      const char32_t next = characters[i + 1].code;
      return next == U' ' || next == U'\t' || next == U'\r' || next == U'\n' || IsCloser(next);
    }
    default:
      return false;
  }
}

bool IsClauseEnd(char32_t c) {
  return c == U'，' || c == U'、' || c == U'：' || c == U',' || c == U':';
}

bool IsSpace(char32_t c) { return c == U' ' || c == U'\t' || c == U'\r' || c == U'\u3000'; }

// Full-width Latin letters and digits read like their ASCII forms.
char32_t Narrow(char32_t c) { return c >= U'！' && c <= U'～' ? c - 0xFEE0 : c; }

bool IsLatinLetter(char32_t c) {
  c = Narrow(c);
  return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') ||
         (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

bool IsDigit(char32_t c) {
  c = Narrow(c);
  return c >= U'0' && c <= U'9';
}

// Characters that stay inside a Latin run when more of it follows.
bool JoinsLatin(char32_t c) {
  switch (Narrow(c)) {
    case U' ':
    case U'\t':
    case U'\'':
    case U'-':
    case U'.':
    case U',':
    case U':':
    case U';':
    case U'!':
    case U'?':
    case U'&':
    case U'+':
    case U'/':
    case U'_':
      return true;
    default:
      return false;
  }
}

// espeak-ng 1.51 drops characters from a Mandarin clause of more than about 200
// characters (its command line does the same): a stretch without a sentence or
// clause end is cut well before that.
constexpr std::size_t kMaxUnbroken = 100;
bool IsWordCharacter(char32_t c) { return IsLatinLetter(c) || IsDigit(c); }

// True when a cut before characters[i] would split a Latin word or a number (3.14
// and 1,000 included).
bool InsideWord(const std::vector<Character>& characters, std::size_t i) {
  if (i == 0 || i >= characters.size()) return false;
  const char32_t before = characters[i - 1].code;
  const char32_t after = characters[i].code;
  if (IsWordCharacter(before) && IsWordCharacter(after)) return true;
  const auto separator = [](char32_t c) { return c == U'.' || c == U','; };
  if (IsDigit(before) && separator(after))
    return i + 1 < characters.size() && IsDigit(characters[i + 1].code);
  if (separator(before) && IsDigit(after)) return i >= 2 && IsDigit(characters[i - 2].code);
  return false;
}

// Where a piece from start that could not end at a sentence, clause or space ends:
// at limit, moved back out of a word; a word longer than a whole piece is cut at the
// limit, which stays a hard bound.
std::size_t CutOutsideWords(const std::vector<Character>& characters, std::size_t start,
                            std::size_t limit) {
  std::size_t cut = limit;
  while (cut > start && InsideWord(characters, cut)) --cut;
  return cut > start ? cut : limit;
}

wchar_t Spoken(char32_t c, bool latin) {
  if (c < 0x20 && c != U'\n') return L' ';
  if (c == 0x7F || c == 0xFEFF) return L' ';
  return static_cast<wchar_t>(latin ? Narrow(c) : c);
}

}  // namespace

std::vector<Character> Decode(std::string_view text, Encoding encoding) {
  std::vector<Character> out;
  out.reserve(text.size());
  if (encoding == Encoding::Utf8)
    DecodeUtf8(text, out);
  else
    DecodeGb18030(text, out);
  return out;
}

std::vector<Piece> CutPieces(const std::vector<Character>& characters, std::size_t maxBytes) {
  std::vector<Piece> pieces;
  std::size_t start = 0;
  while (start < characters.size()) {
    std::size_t bytes = 0;
    std::size_t i = start;
    std::size_t sentence = 0, sentenceBytes = 0;
    std::size_t clause = 0, clauseBytes = 0;
    std::size_t space = 0, spaceBytes = 0;
    bool afterSentence = false;
    std::size_t unbroken = 0;  // characters for the Mandarin voice since a clause end
    while (i < characters.size() && bytes + characters[i].bytes <= maxBytes) {
      const char32_t c = characters[i].code;
      const bool counted = !IsLatinLetter(c) && !IsSpace(c);
      if (counted && unbroken == kMaxUnbroken) break;
      bytes += characters[i].bytes;
      const bool sentenceEnd = IsSentenceEnd(characters, i) || (afterSentence && IsCloser(c));
      ++i;
      if (sentenceEnd) {
        sentence = i;
        sentenceBytes = bytes;
      } else if (IsClauseEnd(c)) {
        clause = i;
        clauseBytes = bytes;
      } else if (IsSpace(c)) {
        space = i;
        spaceBytes = bytes;
      }
      afterSentence = sentenceEnd;
      // A Latin word goes to a voice of its own and ends the Mandarin stretch.
      if (sentenceEnd || IsClauseEnd(c) || IsLatinLetter(c))
        unbroken = 0;
      else if (counted)
        ++unbroken;
    }
    if (i == characters.size()) {
      pieces.push_back({start, i, bytes});
      break;
    }
    if (sentence > start) {
      pieces.push_back({start, sentence, sentenceBytes});
      start = sentence;
    } else if (clause > start) {
      pieces.push_back({start, clause, clauseBytes});
      start = clause;
    } else if (space > start) {
      pieces.push_back({start, space, spaceBytes});
      start = space;
    } else {
      const std::size_t cut = CutOutsideWords(characters, start, i);
      std::size_t cutBytes = 0;
      for (std::size_t k = start; k < cut; ++k) cutBytes += characters[k].bytes;
      pieces.push_back({start, cut, cutBytes});
      start = cut;
    }
  }
  return pieces;
}

std::vector<Run> SplitRuns(const Character* begin, const Character* end) {
  std::vector<Run> runs;
  const auto add = [&](bool latin, const Character* from, const Character* to) {
    Run run{latin, {}};
    run.text.reserve(static_cast<std::size_t>(to - from));
    bool spoken = false;
    for (const Character* c = from; c != to; ++c) {
      const wchar_t w = Spoken(c->code, latin);
      // A line break alone says nothing: as a run of its own it would take the piece's
      // end pause away from the words before it (a line ending in English ran on).
      spoken = spoken || !(IsSpace(static_cast<char32_t>(w)) || w == L'\n');
      run.text.push_back(w);
    }
    if (spoken) runs.push_back(std::move(run));
  };
  const Character* other = begin;
  const Character* c = begin;
  while (c != end) {
    if (!IsLatinLetter(c->code)) {
      ++c;
      continue;
    }
    const Character* runEnd = c;
    const Character* scan = c;
    while (scan != end) {
      if (IsLatinLetter(scan->code) || IsDigit(scan->code)) {
        runEnd = ++scan;
      } else if (JoinsLatin(scan->code)) {
        ++scan;
      } else {
        break;
      }
    }
    if (other != c) add(false, other, c);
    add(true, c, runEnd);
    other = c = runEnd;
  }
  if (other != end) add(false, other, end);
  return runs;
}

}  // namespace msc
