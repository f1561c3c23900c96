#include "document/ScriptEncoding.h"

#include <algorithm>
#include <string_view>

#include "framework/TextCodec.h"

namespace {

bool StartsWith(const ByteBuffer& bytes, std::initializer_list<std::uint8_t> mark) {
  return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
}

std::string_view After(const ByteBuffer& bytes, std::size_t skip) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()) + skip, bytes.size() - skip);
}

bool HasZero(std::string_view text) { return text.find('\0') != std::string_view::npos; }

// The body in a Unicode encoding as the program's text: nothing when it does not
// decode, or holds a character the text cannot carry back to the same bytes.
std::optional<Text> FromUnicode(const char* encoding, std::string_view body) {
  const std::optional<std::string> utf16 = ConvertStrictly("UTF-16LE", encoding, body);
  if (!utf16) return std::nullopt;
  std::u16string units(utf16->size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>((*utf16)[2 * i]) |
                                     static_cast<unsigned char>((*utf16)[2 * i + 1]) << 8);
  return TextFromUtf16Strictly(units);
}

ByteBuffer WithMark(std::initializer_list<std::uint8_t> mark, const std::string& body) {
  ByteBuffer bytes(mark);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

}  // namespace

std::optional<DecodedScript> DecodeScript(const ByteBuffer& bytes) {
  DecodedScript script;
  std::optional<std::string> text;
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) {
    script.encoding = TextEncoding::Utf8WithBom;
    if (IsValidUtf8(After(bytes, 3))) text = FromUnicode("UTF-8", After(bytes, 3));
  } else if (StartsWith(bytes, {0xFF, 0xFE})) {
    script.encoding = TextEncoding::Utf16LeBom;
    text = FromUnicode("UTF-16LE", After(bytes, 2));
  } else if (StartsWith(bytes, {0xFE, 0xFF})) {
    script.encoding = TextEncoding::Utf16BeBom;
    text = FromUnicode("UTF-16BE", After(bytes, 2));
  } else {
    const std::string_view raw = After(bytes, 0);
    const bool ascii = std::all_of(raw.begin(), raw.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii && IsValidUtf8(raw)) {
      script.encoding = TextEncoding::Utf8;
      text = FromUnicode("UTF-8", raw);
    }
    if (!text) {
      // GBK bytes are the editor's own: taken as they are, 0x1A and bytes that
      // start no character included.
      script.encoding = TextEncoding::Gbk;
      text = std::string(raw);
    }
  }
  if (!text || HasZero(*text)) return std::nullopt;
  script.text = std::move(*text);
  return script;
}

std::optional<ByteBuffer> EncodeScript(const Text& text, TextEncoding encoding) {
  if (encoding == TextEncoding::Gbk) return ByteBuffer(text.begin(), text.end());
  const char* target = encoding == TextEncoding::Utf16LeBom   ? "UTF-16LE"
                       : encoding == TextEncoding::Utf16BeBom ? "UTF-16BE"
                                                              : "UTF-8";
  // Through UTF-16, where 0x80 is the euro sign; bytes that start no character
  // (lone surrogates there) have no place in a Unicode file and fail the save.
  const std::u16string units = Utf16FromText(text);
  std::string utf16le(units.size() * 2, '\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    utf16le[2 * i] = static_cast<char>(units[i] & 0xFF);
    utf16le[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  const std::optional<std::string> body = ConvertStrictly(target, "UTF-16LE", utf16le);
  if (!body) return std::nullopt;
  switch (encoding) {
    case TextEncoding::Utf8WithBom:
      return WithMark({0xEF, 0xBB, 0xBF}, *body);
    case TextEncoding::Utf16LeBom:
      return WithMark({0xFF, 0xFE}, *body);
    case TextEncoding::Utf16BeBom:
      return WithMark({0xFE, 0xFF}, *body);
    default:
      return WithMark({}, *body);
  }
}

Text ScriptLineBreak(const Text& text) {
  if (text.find("\r\n") != Text::npos) return "\r\n";
  if (text.find('\n') != Text::npos) return "\n";
  if (text.find('\r') != Text::npos) return "\r";
  return "\r\n";
}

Text WithLineBreaks(const Text& text, const Text& lineBreak) {
  if (lineBreak == "\r\n") return text;
  Text written;
  written.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      written += lineBreak;
      ++i;
    } else {
      written += text[i];
    }
  }
  return written;
}
