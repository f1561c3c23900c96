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
    if (IsValidUtf8(After(bytes, 3))) text = ConvertStrictly("GB18030", "UTF-8", After(bytes, 3));
  } else if (StartsWith(bytes, {0xFF, 0xFE})) {
    script.encoding = TextEncoding::Utf16LeBom;
    text = ConvertStrictly("GB18030", "UTF-16LE", After(bytes, 2));
  } else if (StartsWith(bytes, {0xFE, 0xFF})) {
    script.encoding = TextEncoding::Utf16BeBom;
    text = ConvertStrictly("GB18030", "UTF-16BE", After(bytes, 2));
  } else {
    const std::string_view raw = After(bytes, 0);
    const bool ascii = std::all_of(raw.begin(), raw.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii && IsValidUtf8(raw)) {
      script.encoding = TextEncoding::Utf8;
      text = ConvertStrictly("GB18030", "UTF-8", raw);
    } else {
      // GBK bytes are the editor's own: taken as they are, 0x1A included.
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
  const std::optional<std::string> body = ConvertStrictly(target, "GB18030", text);
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
