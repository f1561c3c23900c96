#include "framework/platform/KeysymNames.h"

#include <xkbcommon/xkbcommon.h>

std::string KeysymName(uint32_t keysym) {
  char name[64];
  if (keysym == 0 || xkb_keysym_get_name(keysym, name, sizeof name) <= 0) return {};
  return name;
}
