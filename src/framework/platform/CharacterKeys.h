#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "framework/RuntimeServices.h"

// Types characters into another client's window as key presses and releases through the
// XTest extension, on a connection of its own. Characters on the keyboard map use their
// own key (with Shift when they sit on its second level); any other character goes
// through a spare key code (one without symbols) mapped to its keysym for the time being.
// Spare key codes go back to having no symbols at RestoreMap and with the object.
// Thread-safe.
class CharacterKeys {
 public:
  CharacterKeys() = default;
  ~CharacterKeys();
  CharacterKeys(const CharacterKeys&) = delete;
  CharacterKeys& operator=(const CharacterKeys&) = delete;

  // The root window's child that holds the keyboard focus; 0 when no window has it.
  uint32_t FocusedTopLevel();
  // The root window's child that holds the window; 0 when the window does not exist.
  uint32_t TopLevelOf(uint32_t window);

  // Sends the character ('\n' and '\r' as Return, '\t' as Tab) while the server is
  // grabbed, so that the focus cannot move between the check and the keys; character 0
  // sends nothing and only answers whether the window has the focus. KeysHeld: a
  // key is down (the user's Ctrl+Q, say); try again shortly.
  CharacterDelivery Send(uint32_t topLevel, char32_t character);

  // Gives every spare key code back its empty mapping, first waiting until the
  // receiver has had time to look up the last character typed with it.
  void RestoreMap();

 private:
  using Clock = std::chrono::steady_clock;
  struct Spare {
    uint8_t keycode;
    uint32_t keysym = 0;  // 0 while it has no symbols
    Clock::time_point lastUse{};
  };
  struct KeyMap {
    uint8_t first = 0;
    int perKeycode = 0;
    std::vector<uint32_t> keysyms;
    uint32_t At(int keycode, int column) const {
      return keysyms[static_cast<std::size_t>((keycode - first) * perKeycode + column)];
    }
    int Count() const { return perKeycode ? static_cast<int>(keysyms.size()) / perKeycode : 0; }
  };

  bool Connect();
  uint32_t TopLevelLocked(uint32_t window);
  bool AnyKeyDown();
  bool FetchMap(KeyMap& map);
  // The key code and whether Shift is needed for the keysym on the first group.
  bool FindKey(const KeyMap& map, uint32_t keysym, uint8_t& keycode, bool& shift) const;
  Spare* SpareFor(const KeyMap& map, uint32_t keysym);
  void MapSpare(Spare& spare, uint32_t keysym);
  void PressAndRelease(uint8_t keycode);
  void RestoreLocked();

  std::mutex mutex_;
  xcb_connection_t* connection_ = nullptr;
  bool failed_ = false;
  xcb_window_t root_ = 0;
  int perKeycode_ = 0;
  std::vector<Spare> spares_;
};
