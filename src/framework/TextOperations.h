#pragma once

#include <cstdint>

#include "framework/Types.h"

// Text and data conversions with the byte semantics the logic relies on. Text is
// GB18030: a byte of 0x80 or above starts a two-byte unit (a four-byte character
// is two such units). Positions are 1-based; "not found" is -1.

int TextLength(const Text& text);
// At most count bytes from position start; empty if start is outside the text or
// count is not positive.
Text MidText(const Text& text, int start, int count);
// The first occurrence of sought at or after start. The scan moves over two-byte
// units whole, so a match never starts on a unit's second byte; ignoreCase folds
// ASCII letters only (never the bytes inside a two-byte unit).
int FindText(const Text& text, const Text& sought, int start = 1, bool ignoreCase = false);
// ASCII to the full-width forms: space A1 A1, 0x21..0x7D A3 (byte + 0x80), ~ A1 AB.
// Control bytes stay single; a lead byte without its second byte ends the text.
Text ToFullWidth(const Text& text);
// The table backwards; the stars A1 EE and A1 EF also become "*".
Text ToHalfWidth(const Text& text);
// The leading decimal number of the half-width text, 0 if there is none.
double ToNumber(const Text& text);
inline double ToNumber(double value) { return value; }
// Integers in decimal, logicals as "真"/"假", buffers up to the first zero byte.
Text ToText(const Value& value);
// Integers least significant byte first; text as its bytes.
ByteBuffer ToBytes(std::int32_t value);
ByteBuffer ToBytes(std::int16_t value);
ByteBuffer ToBytes(const Text& text);
int ByteCount(const ByteBuffer& bytes);

// Stepping through text by whole characters as the editor shows them: the length in
// bytes of the character that starts at index (1, 2 or 4). A byte that starts no
// character (0x80, the euro sign, among them) is one.
int CharacterLengthAt(const Text& text, std::size_t index);
