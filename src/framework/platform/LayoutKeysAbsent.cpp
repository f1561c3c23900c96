// Without libwayland-dev or libxkbcommon-dev: the layout is taken to have the printable
// ASCII characters, as the layouts of Latin script do.
#include "framework/platform/LayoutKeys.h"

uint32_t LayoutKeys::KeysymOf(char32_t character) {
  if (character == U'\n' || character == U'\r') return 0xff0d;
  if (character == U'\t') return 0xff09;
  return character >= 0x20 && character < 0x7f ? character : 0;
}

bool LayoutKeys::Has(uint32_t keysym) {
  return keysym == 0xff0d || keysym == 0xff09 || (keysym >= 0x20 && keysym < 0x7f);
}

void LayoutKeys::Read() {}
