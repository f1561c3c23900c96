#include "framework/TextOperations.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

constexpr unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

unsigned char FoldCase(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// Whether sought matches text at position, walking both by units so that only
// single ASCII bytes are folded.
bool MatchesAt(const Text& text, std::size_t position, const Text& sought, bool ignoreCase) {
  if (text.size() - position < sought.size()) return false;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    const unsigned char s = Byte(sought[i]);
    const unsigned char t = Byte(text[position + i]);
    if (s >= 0x80) {
      // A two-byte unit compares exactly, both bytes.
      if (t != s) return false;
      if (i + 1 < sought.size()) {
        ++i;
        if (Byte(text[position + i]) != Byte(sought[i])) return false;
      }
    } else if (ignoreCase && IsAsciiLetter(s)) {
      if (FoldCase(t) != FoldCase(s)) return false;
    } else if (t != s) {
      return false;
    }
  }
  return true;
}

}  // namespace

int TextLength(const Text& text) {
  return static_cast<int>(std::min<std::size_t>(text.size(), std::numeric_limits<int>::max()));
}

Text MidText(const Text& text, int start, int count) {
  if (start < 1 || count <= 0 || static_cast<std::size_t>(start) > text.size()) return Text();
  return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

int FindText(const Text& text, const Text& sought, int start, bool ignoreCase) {
  if (start < 1) start = 1;
  if (static_cast<std::size_t>(start) > text.size()) return -1;
  if (sought.empty()) return 1;
  std::size_t position = static_cast<std::size_t>(start - 1);
  while (position < text.size()) {
    if (MatchesAt(text, position, sought, ignoreCase)) return static_cast<int>(position + 1);
    position += Byte(text[position]) >= 0x80 ? 2 : 1;
  }
  return -1;
}

Text ToFullWidth(const Text& text) {
  Text result;
  result.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = Byte(text[i]);
    if (c >= 0x80) {
      if (i + 1 >= text.size()) break;  // a lead byte without its second byte
      result += text[i];
      result += text[++i];
    } else if (c == 0x20) {
      result += "\xA1\xA1";
    } else if (c >= 0x21 && c <= 0x7D) {
      result += '\xA3';
      result += static_cast<char>(c + 0x80);
    } else if (c == 0x7E) {
      result += "\xA1\xAB";
    } else {
      result += static_cast<char>(c);
    }
  }
  return result;
}

Text ToHalfWidth(const Text& text) {
  Text result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = Byte(text[i]);
    if (c < 0x80 || i + 1 >= text.size()) {
      result += text[i];
      continue;
    }
    const unsigned char second = Byte(text[i + 1]);
    if (c == 0xA1 && second == 0xA1) {
      result += ' ';
    } else if (c == 0xA3 && second >= 0xA1 && second <= 0xFD) {
      result += static_cast<char>(second - 0x80);
    } else if (c == 0xA1 && second == 0xAB) {
      result += '~';
    } else if (c == 0xA1 && (second == 0xEE || second == 0xEF)) {
      result += '*';
    } else {
      result += text[i];
      result += text[i + 1];
    }
    ++i;
  }
  return result;
}

double ToNumber(const Text& text) {
  const Text half = ToHalfWidth(text);
  std::size_t i = 0;
  while (i < half.size() && (half[i] == ' ' || half[i] == '\t')) ++i;
  std::size_t end = i;
  if (end < half.size() && (half[end] == '+' || half[end] == '-')) ++end;
  const std::size_t digitsStart = end;
  while (end < half.size() && half[end] >= '0' && half[end] <= '9') ++end;
  bool any = end > digitsStart;
  if (end < half.size() && half[end] == '.') {
    std::size_t fraction = end + 1;
    while (fraction < half.size() && half[fraction] >= '0' && half[fraction] <= '9') ++fraction;
    if (fraction > end + 1 || any) {
      any = any || fraction > end + 1;
      end = fraction;
    }
  }
  if (!any) return 0.0;
  if (end < half.size() && (half[end] == 'e' || half[end] == 'E')) {
    std::size_t exponent = end + 1;
    if (exponent < half.size() && (half[exponent] == '+' || half[exponent] == '-')) ++exponent;
    const std::size_t exponentDigits = exponent;
    while (exponent < half.size() && half[exponent] >= '0' && half[exponent] <= '9') ++exponent;
    if (exponent > exponentDigits) end = exponent;
  }
  // Only the characters checked above reach strtod: no hex, no "inf".
  return std::strtod(half.substr(i, end - i).c_str(), nullptr);
}

Text ToText(const Value& value) { return value.AsText(); }

ByteBuffer ToBytes(std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  return ByteBuffer{static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                    static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
}

ByteBuffer ToBytes(std::int16_t value) {
  const auto u = static_cast<std::uint16_t>(value);
  return ByteBuffer{static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8)};
}

ByteBuffer ToBytes(const Text& text) { return ByteBuffer(text.begin(), text.end()); }

int ByteCount(const ByteBuffer& bytes) {
  return static_cast<int>(std::min<std::size_t>(bytes.size(), std::numeric_limits<int>::max()));
}

int CharacterLengthAt(const Text& text, std::size_t index) {
  if (index >= text.size()) return 0;
  const std::size_t left = text.size() - index;
  const unsigned char lead = Byte(text[index]);
  // 0x80 (the euro sign of code page 936) and 0xFF are characters of one byte; so is a
  // lead byte that no valid second byte follows, as the editor shows it.
  if (lead < 0x81 || lead == 0xFF || left < 2) return 1;
  const unsigned char second = Byte(text[index + 1]);
  // GB18030 four-byte sequences: lead 81..FE, then 30..39, 81..FE, 30..39.
  if (second >= 0x30 && second <= 0x39) {
    const bool whole = left >= 4 && Byte(text[index + 2]) >= 0x81 &&
                       Byte(text[index + 2]) <= 0xFE && Byte(text[index + 3]) >= 0x30 &&
                       Byte(text[index + 3]) <= 0x39;
    return whole ? 4 : 1;
  }
  return second >= 0x40 && second <= 0xFE && second != 0x7F ? 2 : 1;
}
