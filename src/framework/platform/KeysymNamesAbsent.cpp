#include "framework/platform/KeysymNames.h"

namespace {
constexpr uint32_t kF1 = 0xffbe, kF24 = 0xffd5;
}

std::string KeysymName(uint32_t keysym) {
  const bool letter = (keysym >= 'a' && keysym <= 'z') || (keysym >= 'A' && keysym <= 'Z');
  if (letter || (keysym >= '0' && keysym <= '9')) return std::string(1, static_cast<char>(keysym));
  if (keysym >= kF1 && keysym <= kF24) return "F" + std::to_string(keysym - kF1 + 1);
  return {};
}
