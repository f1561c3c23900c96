#include "framework/TextOperations.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace {

Text Bytes(std::initializer_list<int> bytes) {
  Text text;
  for (int b : bytes) text += static_cast<char>(b);
  return text;
}

TEST(TextOperations, LengthAndMidCountBytes) {
  EXPECT_EQ(TextLength("三个字"), 6);
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(MidText("abcdef", 2, 3), "bcd");
  EXPECT_EQ(MidText("abcdef", 0, 3), "");
  EXPECT_EQ(MidText("abcdef", 7, 1), "") << "one past the last byte";
  EXPECT_EQ(MidText("abcdef", 5, 10), "ef") << "a count past the end gives the rest";
  EXPECT_EQ(MidText("abcdef", 1, 0), "");
  EXPECT_EQ(MidText("abcdef", 1, -2), "");
}

TEST(TextOperations, FindTextPositionsCaseAndStart) {
  EXPECT_EQ(FindText("V6.3 版", "v6.3", 1, true), 1);
  EXPECT_EQ(FindText("V6.3 版", "v6.3", 1, false), -1);
  EXPECT_EQ(FindText("abcabc", "bc"), 2);
  EXPECT_EQ(FindText("abcabc", "bc", 3), 5);
  EXPECT_EQ(FindText("abcabc", "bc", -5), 2) << "a start below 1 counts as 1";
  EXPECT_EQ(FindText("abc", "c", 4), -1) << "a start beyond the text finds nothing";
  EXPECT_EQ(FindText("abc", "", 3), 1);
  EXPECT_EQ(FindText("abc", "", 4), -1);
  EXPECT_EQ(FindText("", "a"), -1);
  EXPECT_EQ(FindText("ab", "abc"), -1);
  EXPECT_EQ(FindText("中文V6.3", "V6.3"), 5);
}

// "中" is D6 D0 and "郑" is D6 A3: the pair A3 D6 appears across the boundary of
// "郑中" but no character starts there.
TEST(TextOperations, FindTextNeverMatchesOnASecondByte) {
  EXPECT_EQ(FindText("郑中", Bytes({0xA3, 0xD6})), -1);
  EXPECT_EQ(FindText("郑中", "中"), 3);
  // A second byte that equals an ASCII letter: "丂" is 81 40, "乀" 81 5C, "丄" 81 42.
  EXPECT_EQ(FindText(Bytes({0x81, 0x42}), "B"), -1);
  EXPECT_EQ(FindText(Bytes({0x81, 0x42}), "b", 1, true), -1);
  // Ignoring case folds single ASCII letters only, never a character's second byte.
  EXPECT_EQ(FindText(Bytes({0x81, 0x62}), Bytes({0x81, 0x42}), 1, true), -1);
  EXPECT_EQ(FindText(Bytes({'x', 0x81, 0x42, 'Q'}), Bytes({0x81, 0x42, 'q'}), 1, true), 2);
  // A four-byte character is stepped over as two units.
  const Text emoji = Bytes({0x94, 0x39, 0xDA, 0x33});
  EXPECT_EQ(FindText(emoji + "9", "9"), 5);
}

// Typing and reading step by these: a step of two characters cannot be one key.
TEST(TextOperations, BytesThatStartNoCharacterAreCharactersOfOne) {
  const Text euroThenLetter = Bytes({0x80, 'b'});
  EXPECT_EQ(CharacterLengthAt(euroThenLetter, 0), 1);
  EXPECT_EQ(CharacterLengthAt(Bytes({0xFF, 0xA1}), 0), 1);
  EXPECT_EQ(CharacterLengthAt(Bytes({0xB0, 0x20}), 0), 1) << "no valid second byte";
  EXPECT_EQ(CharacterLengthAt(Bytes({0xB0, 0x7F}), 0), 1);
  EXPECT_EQ(CharacterLengthAt(Bytes({0x81, 0x30, 0x81}), 0), 1) << "a cut four-byte sequence";
  EXPECT_EQ(CharacterLengthAt(Bytes({0x81, 0x30, 0x41, 0x30}), 0), 1);
}

TEST(TextOperations, FullAndHalfWidthForms) {
  EXPECT_EQ(ToFullWidth(Bytes({0x61, 0x20, 0x62})), Bytes({0xA3, 0xE1, 0xA1, 0xA1, 0xA3, 0xE2}));
  EXPECT_EQ(ToHalfWidth(Bytes({0xA3, 0xE1, 0xA1, 0xA1, 0xA3, 0xE2})), "a b");
  EXPECT_EQ(ToFullWidth("\r\n\t"), "\r\n\t");
  EXPECT_EQ(ToFullWidth("~"), Bytes({0xA1, 0xAB}));
  EXPECT_EQ(ToFullWidth("中" + Bytes({0xB0})), "中") << "a lead byte without a second ends";
  EXPECT_EQ(ToHalfWidth("★☆"), "**");
  EXPECT_EQ(ToHalfWidth("中" + Bytes({0xB0})), "中" + Bytes({0xB0})) << "nothing is lost";
}

TEST(TextOperations, ToNumberTakesTheLeadingDecimalNumberOfTheHalfWidthText) {
  EXPECT_EQ(ToNumber("7"), 7.0);
  EXPECT_EQ(ToNumber("abc"), 0.0);
  EXPECT_EQ(ToNumber("-1"), -1.0);
  EXPECT_EQ(ToNumber(" 12.5kg"), 12.5);
  EXPECT_EQ(ToNumber("１０"), 10.0);
  EXPECT_EQ(ToNumber(".5"), 0.5);
  EXPECT_EQ(ToNumber("0x10"), 0.0);
  EXPECT_EQ(ToNumber("inf"), 0.0);
  EXPECT_EQ(ToNumber("1e3x"), 1000.0);
  EXPECT_EQ(ToNumber(""), 0.0);
}

TEST(TextOperations, TextAndBytesForms) {
  EXPECT_EQ(ToText(Value(-42)), "-42");
  EXPECT_EQ(ToText(Value(true)), "真");
  EXPECT_EQ(ToText(Value(false)), "假");
  EXPECT_EQ(ToText(Value(ByteBuffer{'a', 'b'})), "ab");
  EXPECT_EQ(ToText(Value(ByteBuffer{0, 'a'})), "");
  EXPECT_EQ(ToText(Value(ByteBuffer{'a', 0, 'b'})), "a");
  EXPECT_EQ(ToBytes(std::int32_t{0x01020304}), (ByteBuffer{4, 3, 2, 1}));
  EXPECT_EQ(ToBytes(std::int32_t{-1}), (ByteBuffer{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(ToBytes(std::int16_t{0x0102}), (ByteBuffer{2, 1}));
  EXPECT_EQ(ToBytes(Text("ab")), (ByteBuffer{'a', 'b'}));
  EXPECT_EQ(ByteCount(ByteBuffer(5)), 5);
}

// Every double-byte GBK code, checked against Python's gbk codec: one character
// of two bytes; never matched on its second byte; left alone by the half-width
// conversion unless it is one of the full-width forms, which give their ASCII
// character (A3 A4, the full-width yuan sign, stands for "$" in the table).
TEST(TextOperations, EveryDoubleByteCodeAgainstPythonsCodec) {
  FILE* python = ::popen(
      "python3 -c \"\n"
      "for lead in range(0x81, 0xFF):\n"
      "  for trail in range(0x40, 0xFF):\n"
      "    try: c = bytes([lead, trail]).decode('gbk')\n"
      "    except UnicodeDecodeError: continue\n"
      "    if len(c) == 1: print(lead, trail, ord(c))\n"
      "\"",
      "r");
  ASSERT_NE(python, nullptr);
  int lead = 0, trail = 0, code = 0, checked = 0;
  while (std::fscanf(python, "%d %d %d", &lead, &trail, &code) == 3) {
    const Text character = Bytes({lead, trail});
    ASSERT_EQ(CharacterLengthAt(character, 0), 2) << lead << " " << trail;
    ASSERT_EQ(TextLength(character), 2);
    if (trail < 0x80) {
      ASSERT_EQ(FindText(character, Text(1, static_cast<char>(trail))), -1) << lead << " " << trail;
      ASSERT_EQ(FindText(character + Text(1, static_cast<char>(trail)),
                         Text(1, static_cast<char>(trail))),
                3);
    }
    // The table's codes, each confirmed by the codec as the full-width form (or
    // the ideographic space, the wave dash, a star) of what it converts to.
    Text expected = character;
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFD) {
      expected = Text(1, static_cast<char>(trail - 0x80));
      if (trail != 0xA4) {
        ASSERT_EQ(code, 0xFF01 + (trail - 0xA1)) << trail;
      }
    } else if (lead == 0xA1 && trail == 0xA1) {
      ASSERT_EQ(code, 0x3000);
      expected = " ";
    } else if (lead == 0xA1 && trail == 0xAB) {
      ASSERT_EQ(code, 0xFF5E);
      expected = "~";
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      ASSERT_TRUE(code == 0x2605 || code == 0x2606);
      expected = "*";
    }
    ASSERT_EQ(ToHalfWidth(character), expected) << lead << " " << trail << " U+" << code;
    if (expected != character && expected != "*") {
      ASSERT_EQ(ToFullWidth(expected), character);
    }
    ++checked;
  }
  ::pclose(python);
  EXPECT_EQ(checked, 21791) << "every code the codec knows";
}

// GB18030's four-byte characters, checked against Python's gb18030 codec.
TEST(TextOperations, FourByteCharactersAgainstPythonsCodec) {
  FILE* python = ::popen(
      "python3 -c \"\n"
      "import sys\n"
      "for cp in [0x80, 0x20AC + 1, 0x3000 + 0x1000, 0xE5E5, 0x10000, 0x1F600, 0x20000, "
      "0x10FFFF]:\n"
      "  b = chr(cp).encode('gb18030')\n"
      "  print(len(b), b.hex())\n"
      "\"",
      "r");
  ASSERT_NE(python, nullptr);
  int length = 0;
  char hex[32];
  int checked = 0;
  while (std::fscanf(python, "%d %31s", &length, hex) == 2) {
    Text character;
    for (int i = 0; hex[i] && hex[i + 1]; i += 2) {
      unsigned value = 0;
      std::sscanf(hex + i, "%2x", &value);
      character += static_cast<char>(value);
    }
    EXPECT_EQ(CharacterLengthAt(character, 0), length) << hex;
    EXPECT_EQ(ToHalfWidth(character), character) << hex;
    EXPECT_EQ(ToFullWidth(character), character) << hex;
    ++checked;
  }
  ::pclose(python);
  EXPECT_EQ(checked, 8);
}

}  // namespace
