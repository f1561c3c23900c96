#include "framework/Types.h"

#include "framework/ValueText.h"

std::int32_t Value::AsInt() const {
  if (auto* i = std::get_if<std::int32_t>(&v_)) return *i;
  if (auto* b = std::get_if<bool>(&v_)) return *b ? 1 : 0;
  if (auto* c = std::get_if<Colour>(&v_)) return static_cast<std::int32_t>(c->ref);
  return 0;
}

bool Value::AsBool() const {
  if (auto* b = std::get_if<bool>(&v_)) return *b;
  if (auto* i = std::get_if<std::int32_t>(&v_)) return *i != 0;
  return false;
}

Colour Value::AsColour() const {
  if (auto* c = std::get_if<Colour>(&v_)) return *c;
  if (auto* i = std::get_if<std::int32_t>(&v_)) return Colour{static_cast<std::uint32_t>(*i)};
  return Colour{};
}

Text Value::AsText() const {
  if (auto* t = std::get_if<Text>(&v_)) return *t;
  if (auto* i = std::get_if<std::int32_t>(&v_)) return IntegerText(*i);
  if (auto* b = std::get_if<bool>(&v_)) return LogicalText(*b);
  if (auto* bytes = std::get_if<ByteBuffer>(&v_)) return BytesText(*bytes);
  return Text();
}

ByteBuffer Value::AsBytes() const {
  if (auto* bytes = std::get_if<ByteBuffer>(&v_)) return *bytes;
  if (auto* t = std::get_if<Text>(&v_)) return ByteBuffer(t->begin(), t->end());
  return ByteBuffer();
}
