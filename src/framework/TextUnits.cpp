// Lossless conversion between the program's GB18030 text and UTF-16.

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "framework/TextCodec.h"

namespace {

constexpr char16_t kEuro = u'\u20AC';
constexpr char16_t kStrayByteBase = 0xDC00;  // + the byte: a lone low surrogate

bool InRange(unsigned char c, unsigned char low, unsigned char high) {
  return c >= low && c <= high;
}

// One iconv conversion descriptor for the life of a call.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(Open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // The whole input converted, or false.
  bool Run(const char* input, std::size_t length, std::string& out) {
    out.clear();
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[32];
    char* in = const_cast<char*>(input);
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(cd_, &in, &length, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || length != 0)
      return false;
    out.assign(buffer, static_cast<std::size_t>(outPtr - buffer));
    return true;
  }

 private:
  static iconv_t Open(const char* to, const char* from) {
    KeepTextConverterLoaded();
    return iconv_open(to, from);
  }

  iconv_t cd_;
};

std::u16string UnitsOf(const std::string& utf16le) {
  std::u16string units(utf16le.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16le[2 * i]) |
                                     static_cast<unsigned char>(utf16le[2 * i + 1]) << 8);
  return units;
}

std::string BytesOf(std::u16string_view units) {
  std::string bytes(units.size() * 2, '\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return bytes;
}

// The two-byte GB18030 table, both ways, built once from iconv. Only codes whose
// character goes back to the same two bytes are kept; the euro sign's A2 E3 is left
// out, because the euro sign is the single byte 0x80 here (as code page 936 has it).
struct TwoByteTable {
  static constexpr int kTrails = 0xFE - 0x40 + 1;
  std::vector<char16_t> decode = std::vector<char16_t>(126 * kTrails, 0);
  std::vector<std::uint16_t> encode = std::vector<std::uint16_t>(0x10000, 0);

  TwoByteTable() {
    Converter toUnits("UTF-16LE", "GB18030");
    std::string out;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        const char code[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        if (!toUnits.Run(code, 2, out) || out.size() != 2) continue;
        const char16_t unit = UnitsOf(out)[0];
        if (unit < 0x80 || unit == kEuro || (unit >= 0xD800 && unit <= 0xDFFF)) continue;
        if (encode[unit] != 0) continue;  // a second code for one character
        decode[(lead - 0x81) * kTrails + (trail - 0x40)] = unit;
        encode[unit] = static_cast<std::uint16_t>(lead << 8 | trail);
      }
    }
  }
};

const TwoByteTable& Table() {
  static const TwoByteTable table;
  return table;
}

}  // namespace

std::u16string Utf16FromText(std::string_view text) {
  const TwoByteTable& table = Table();
  std::u16string out;
  out.reserve(text.size());
  Converter toUnits("UTF-16LE", "GB18030");
  Converter toText("GB18030", "UTF-16LE");
  std::string units;
  std::string back;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    if (InRange(lead, 0x81, 0xFE) && i + 1 < text.size()) {
      const unsigned char second = byte(i + 1);
      if (InRange(second, 0x30, 0x39)) {
        // Four bytes: taken only when the character goes back to the same four.
        if (i + 3 < text.size() && InRange(byte(i + 2), 0x81, 0xFE) &&
            InRange(byte(i + 3), 0x30, 0x39) && toUnits.Run(text.data() + i, 4, units) &&
            toText.Run(units.data(), units.size(), back) && back == text.substr(i, 4) &&
            !(units.size() == 2 && UnitsOf(units)[0] == kEuro)) {
          out += UnitsOf(units);
          i += 4;
          continue;
        }
      } else if (InRange(second, 0x40, 0xFE) && second != 0x7F) {
        const char16_t unit = table.decode[(lead - 0x81) * TwoByteTable::kTrails + (second - 0x40)];
        if (unit != 0) {
          out.push_back(unit);
          i += 2;
          continue;
        }
      }
    }
    // A byte that starts no character: kept as a code of its own.
    out.push_back(lead == 0x80 ? kEuro : static_cast<char16_t>(kStrayByteBase + lead));
    ++i;
  }
  return out;
}

namespace {

std::optional<Text> FromUnits(std::u16string_view units, bool strict) {
  const TwoByteTable& table = Table();
  Text text;
  text.reserve(units.size() * 2);
  Converter toText("GB18030", "UTF-16LE");
  std::string bytes;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit < 0x80) {
      text.push_back(static_cast<char>(unit));
    } else if (unit == kEuro) {
      text.push_back('\x80');
    } else if (unit >= kStrayByteBase + 0x80 && unit <= kStrayByteBase + 0xFF) {
      if (strict) return std::nullopt;  // no file's characters hold these
      text.push_back(static_cast<char>(unit - kStrayByteBase));
    } else if (table.encode[unit] != 0) {
      text.push_back(static_cast<char>(table.encode[unit] >> 8));
      text.push_back(static_cast<char>(table.encode[unit] & 0xFF));
    } else {
      std::size_t length = 1;
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
          units[i + 1] <= 0xDFFF)
        length = 2;
      const std::string pair = BytesOf(units.substr(i, length));
      if (toText.Run(pair.data(), pair.size(), bytes)) {
        text += bytes;
      } else if (strict) {
        return std::nullopt;
      } else {
        text.push_back('?');
      }
      i += length - 1;
    }
  }
  return text;
}

}  // namespace

Text TextFromUtf16(std::u16string_view units) { return *FromUnits(units, false); }

std::optional<Text> TextFromUtf16Strictly(std::u16string_view units) {
  return FromUnits(units, true);
}
