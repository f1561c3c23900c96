#pragma once

#include <cstdint>
#include <string>

// The keysym's name as the desktop's shortcut triggers write it ("a", "F5", "KP_1");
// empty when it has none. Without libxkbcommon only letters, digits and F1..F24 are named.
std::string KeysymName(uint32_t keysym);
