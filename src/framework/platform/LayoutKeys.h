#pragma once

#include <cstdint>
#include <mutex>
#include <set>

// Which keysyms the session's keyboard layout has: what a desktop that types only the
// layout's keys (GNOME and KDE through the remote-desktop portal) can type. The layout is
// the one the compositor gives its clients, read once on a Wayland connection of its own;
// where it gives none, the system's default layout. Thread-safe.
class LayoutKeys {
 public:
  // Whether a key of the first layout types the keysym, alone or with Shift.
  bool Has(uint32_t keysym);
  // The keysym of a character (Return for '\n' and '\r', Tab for '\t'); 0 when it has none.
  static uint32_t KeysymOf(char32_t character);

 private:
  void Read();

  std::once_flag read_;
  std::set<uint32_t> keysyms_;
};
