#include "document/ScriptEncoding.h"

#include <gtest/gtest.h>

#include <string_view>

#include "framework/EditorText.h"

// Narrow literals here are GB18030 (the editor's text); u8 and u literals keep their own
// encodings, so one source line gives both the file's bytes and the text expected.
namespace {

ByteBuffer Bytes(std::string_view bytes) { return ByteBuffer(bytes.begin(), bytes.end()); }

ByteBuffer Utf8(std::u8string_view text, bool mark = false) {
  ByteBuffer bytes;
  if (mark) bytes = {0xEF, 0xBB, 0xBF};
  for (char8_t c : text) bytes.push_back(static_cast<std::uint8_t>(c));
  return bytes;
}

ByteBuffer Utf16(std::u16string_view text, bool bigEndian) {
  ByteBuffer bytes = bigEndian ? ByteBuffer{0xFE, 0xFF} : ByteBuffer{0xFF, 0xFE};
  for (char16_t unit : text) {
    const auto high = static_cast<std::uint8_t>(unit >> 8);
    const auto low = static_cast<std::uint8_t>(unit & 0xFF);
    bytes.push_back(bigEndian ? high : low);
    bytes.push_back(bigEndian ? low : high);
  }
  return bytes;
}

struct RoundTrip {
  const char* name;
  ByteBuffer file;
  TextEncoding encoding;
  Text text;  // what the editor shows
};

// Reads the file's bytes as the editor's text and writes that text back.
void ExpectRoundTrip(const RoundTrip& row) {
  SCOPED_TRACE(row.name);
  const std::optional<DecodedScript> script = DecodeScript(row.file);
  ASSERT_TRUE(script.has_value());
  EXPECT_EQ(script->encoding, row.encoding);
  EXPECT_EQ(script->text, row.text);
  const std::optional<ByteBuffer> written = EncodeScript(script->text, script->encoding);
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(*written, row.file);
}

TEST(ScriptEncodingTest, GbkFilesRoundTripByteForByteWhateverTheirLineEnds) {
  const RoundTrip rows[] = {
      {"CR LF with a final line end", Bytes("第一行\r\n第二行\r\n"), TextEncoding::Gbk,
       "第一行\r\n第二行\r\n"},
      {"bare LF, no final line end", Bytes("甲\n乙\n丙"), TextEncoding::Gbk, "甲\n乙\n丙"},
      {"no line end at all", Bytes("只有一行"), TextEncoding::Gbk, "只有一行"},
      {"mixed and a lone CR", Bytes("a\r\n中\n文\rz"), TextEncoding::Gbk, "a\r\n中\n文\rz"},
      {"full-width forms and symbols", Bytes("ＡＢＣ　★※"), TextEncoding::Gbk, "ＡＢＣ　★※"},
      {"empty file", ByteBuffer(), TextEncoding::Gbk, ""},
  };
  for (const RoundTrip& row : rows) ExpectRoundTrip(row);
}

TEST(ScriptEncodingTest, UnicodeFilesAreShownAsTextAndWrittenBackWithTheirMark) {
  // A character GBK lacks (the emoji) must survive too: the editor's text is GB18030.
  const RoundTrip rows[] = {
      {"UTF-8", Utf8(u8"第一行\r\n第二行\n末尾 ★😀"), TextEncoding::Utf8,
       "第一行\r\n第二行\n末尾 ★😀"},
      {"UTF-8 with mark", Utf8(u8"第一行\r\n第二行\n末尾 ★😀", true), TextEncoding::Utf8WithBom,
       "第一行\r\n第二行\n末尾 ★😀"},
      {"UTF-8 mark, ASCII body", Utf8(u8"plain\r\n", true), TextEncoding::Utf8WithBom, "plain\r\n"},
      {"UTF-8 mark only", Utf8(u8"", true), TextEncoding::Utf8WithBom, ""},
      {"UTF-16 LE", Utf16(u"讲稿\r\nline 2\n😀", false), TextEncoding::Utf16LeBom,
       "讲稿\r\nline 2\n😀"},
      {"UTF-16 BE", Utf16(u"讲稿\r\nline 2\n😀", true), TextEncoding::Utf16BeBom,
       "讲稿\r\nline 2\n😀"},
      {"UTF-16 LE mark only", Utf16(u"", false), TextEncoding::Utf16LeBom, ""},
  };
  for (const RoundTrip& row : rows) ExpectRoundTrip(row);
}

TEST(ScriptEncodingTest, OnlyStrictUtf8LeavesGbk) {
  const RoundTrip rows[] = {
      {"pure ASCII", Bytes("plain text\r\nno marks\n"), TextEncoding::Gbk,
       "plain text\r\nno marks\n"},
      {"GBK, not UTF-8", Bytes("中文脚本"), TextEncoding::Gbk, "中文脚本"},
      // C3 A9 is UTF-8 for é, but the whole file has to be UTF-8.
      {"starts like UTF-8", Bytes("\xC3\xA9中"), TextEncoding::Gbk, "\xC3\xA9中"},
      // An overlong '/' and an encoded surrogate: well-formed in form only.
      {"overlong", Bytes("\xC0\xAF"), TextEncoding::Gbk, "\xC0\xAF"},
      {"surrogate", Bytes("\xED\xA0\x80"), TextEncoding::Gbk, "\xED\xA0\x80"},
  };
  for (const RoundTrip& row : rows) ExpectRoundTrip(row);
}

TEST(ScriptEncodingTest, EndOfFileMarkIsAnOrdinaryCharacter) {
  const RoundTrip rows[] = {
      {"GBK", Bytes("ab\x1A中文\x1A"), TextEncoding::Gbk, "ab\x1A中文\x1A"},
      {"UTF-8", Utf8(u8"ab\x1A中文"), TextEncoding::Utf8, "ab\x1A中文"},
      {"UTF-16 BE", Utf16(u"\x1A中", true), TextEncoding::Utf16BeBom, "\x1A中"},
  };
  for (const RoundTrip& row : rows) ExpectRoundTrip(row);
}

TEST(ScriptEncodingTest, FilesThatAreNoScriptAreRefused) {
  const std::pair<const char*, ByteBuffer> refused[] = {
      {"zero byte in GBK", Bytes(std::string_view("ab\0cd", 5))},
      {"zero byte at the end", Bytes(std::string_view("中文\0", 5))},
      {"zero byte in UTF-8", Utf8(std::u8string_view(u8"中\0文", 7))},
      {"zero character in UTF-16 LE", Utf16(std::u16string_view(u"a\0b", 3), false)},
      {"zero character in UTF-16 BE", Utf16(std::u16string_view(u"a\0b", 3), true)},
      {"odd UTF-16 LE body", ByteBuffer{0xFF, 0xFE, 'A', 0, 'B'}},
      {"odd UTF-16 BE body", ByteBuffer{0xFE, 0xFF, 0, 'A', 0}},
      {"unpaired surrogate", ByteBuffer{0xFF, 0xFE, 0x00, 0xD8, 'A', 0}},
  };
  for (const auto& [name, file] : refused) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(DecodeScript(file).has_value());
  }
}

TEST(ScriptEncodingTest, NewTextIsWrittenInTheFilesEncoding) {
  // Text typed into a file that was read as UTF-16 BE goes out as UTF-16 BE.
  EXPECT_EQ(EncodeScript("新\r\n", TextEncoding::Utf16BeBom), Utf16(u"新\r\n", true));
  EXPECT_EQ(EncodeScript("新\r\n", TextEncoding::Utf16LeBom), Utf16(u"新\r\n", false));
  EXPECT_EQ(EncodeScript("新\r\n", TextEncoding::Utf8), Utf8(u8"新\r\n"));
  EXPECT_EQ(EncodeScript("新\r\n", TextEncoding::Utf8WithBom), Utf8(u8"新\r\n", true));
  EXPECT_EQ(EncodeScript("新\r\n", TextEncoding::Gbk), Bytes("新\r\n"));
  EXPECT_EQ(EncodeScript("", TextEncoding::Gbk), ByteBuffer());
}

// The whole way a file takes: decoded, shown in the editor's UTF-16, read back from
// there and written. Every byte comes back, and 0x80 of code page 936 shows as €.
TEST(ScriptEncodingTest, EveryFileComesBackByteForByteThroughTheEditor) {
  const struct {
    const char* name;
    ByteBuffer file;
    std::u16string shown;  // what the editor holds, lone surrogates marking stray bytes
  } rows[] = {
      {"GBK with bytes that start no character", Bytes("\x41\x80\x42\xFF\x43"),
       u"A\u20ACB\xDCFF"
       u"C"},
      {"code page 936 euro sign",
       Bytes("价格：\x80"
             "100"),
       u"价格：€100"},
      {"GB18030 euro sign and a cut character", Bytes("\xA2\xE3!\xB0"), u"\xDCA2\xDCE3!\xDCB0"},
      {"four bytes that decode to a two-byte character", Bytes("\x95\x32\x90\x31"),
       u"\xDC95"
       u"2\xDC90"
       u"1"},
      {"UTF-8 with the editor's own marks", Utf8(u8"甲\u2028乙\u240D丙\u2029丁\uFDD0€\r\n\n\r"),
       u"甲\xDC01乙\xDC03丙\xDC02丁\xDC04€\n\u2028\u240D"},
      {"UTF-16 LE with a line separator", Utf16(u"a\u2028b", false),
       u"a\xDC01"
       u"b"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::optional<DecodedScript> script = DecodeScript(row.file);
    ASSERT_TRUE(script.has_value());
    const std::u16string units = EditorUnitsFromText(script->text);
    EXPECT_EQ(units, row.shown);
    EXPECT_EQ(EncodeScript(TextFromEditorUnits(units), script->encoding), row.file);
  }
  // A euro sign typed into a GBK file is written as 0x80, into a UTF-8 file as UTF-8.
  EXPECT_EQ(EncodeScript(TextFromEditorUnits(u"€"), TextEncoding::Gbk), Bytes("\x80"));
  EXPECT_EQ(EncodeScript(TextFromEditorUnits(u"€"), TextEncoding::Utf8), Utf8(u8"€"));
}

}  // namespace
