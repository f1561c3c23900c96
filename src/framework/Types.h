#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// Text is GB18030 bytes (a superset of GBK). Lengths and positions count bytes.
using Text = std::string;

// A length-counted block of bytes that may hold zero bytes.
using ByteBuffer = std::vector<std::uint8_t>;

// A Windows COLORREF, 0x00BBGGRR.
struct Colour {
  std::uint32_t ref = 0;
  friend bool operator==(Colour, Colour) = default;
};

constexpr Colour Rgb(int red, int green, int blue) {
  return Colour{
      static_cast<std::uint32_t>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16))};
}
constexpr int RedOf(Colour c) { return static_cast<int>(c.ref & 0xFF); }
constexpr int GreenOf(Colour c) { return static_cast<int>((c.ref >> 8) & 0xFF); }
constexpr int BlueOf(Colour c) { return static_cast<int>((c.ref >> 16) & 0xFF); }

// A property or message value. Which alternative a property holds is fixed per property.
class Value {
 public:
  Value() = default;
  Value(std::int32_t i) : v_(i) {}
  Value(bool b) : v_(b) {}
  Value(Colour c) : v_(c) {}
  Value(Text t) : v_(std::move(t)) {}
  Value(const char* t) : v_(Text(t)) {}
  Value(ByteBuffer b) : v_(std::move(b)) {}

  bool IsEmpty() const { return std::holds_alternative<std::monostate>(v_); }
  bool IsInt() const { return std::holds_alternative<std::int32_t>(v_); }
  bool IsBool() const { return std::holds_alternative<bool>(v_); }
  bool IsColour() const { return std::holds_alternative<Colour>(v_); }
  bool IsText() const { return std::holds_alternative<Text>(v_); }
  bool IsBytes() const { return std::holds_alternative<ByteBuffer>(v_); }

  // Each accessor gives the natural conversion when the value holds another kind,
  // so a caller never crashes on a mismatched property.
  std::int32_t AsInt() const;
  bool AsBool() const;
  Colour AsColour() const;
  Text AsText() const;
  ByteBuffer AsBytes() const;

  friend bool operator==(const Value&, const Value&) = default;

 private:
  std::variant<std::monostate, std::int32_t, bool, Colour, Text, ByteBuffer> v_;
};
