#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "framework/RuntimeServices.h"
#include "framework/platform/BorrowedKeysRecord.h"
#include "framework/platform/SparePlaces.h"
#include "framework/platform/XkbKeySymbols.h"

// Types characters into another client's window as key presses and releases through the
// XTest extension, on a connection of its own. Characters on the keyboard map use their
// own key (with Shift when they sit on its second level); any other character goes
// through a spare place: a level of a key code the map leaves without symbols, given the
// character's keysym for the time being. Every change of the map makes each X client (the
// window manager, the recorder, the receiver) read the map again, so changes are few:
// one change fills every free place with the coming characters, and a character keeps its
// place while it is not needed for another. The borrowed key codes go back to having no
// symbols at RestoreMap and with the object; a record in the state folder lets the next
// start give them back after a copy was killed. Thread-safe; nothing sleeps while holding
// the server grab or the object's lock.
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
  // key is down (the user's Ctrl+Q, say); KeyBusy: every place is still needed by the
  // characters just typed. Both: try again shortly.
  CharacterDelivery Send(uint32_t topLevel, char32_t character);

  // Whether the character can be sent without a change of the map.
  bool Ready(char32_t character);
  // When the next of the coming characters is not ready: one change of the map gives the
  // free places to the coming characters that have none, in order.
  void Prepare(const std::vector<char32_t>& coming);

  // Gives every borrowed key code back its own symbols in one change, first waiting
  // (without the lock) until the receiver has had time to look up the last character.
  void RestoreMap();
  // At start-up: key codes left borrowed on this display by a copy that was killed get
  // their empty mapping back, as far as they still hold what such a copy puts there.
  void RestoreLeftovers();

 private:
  using Clock = SparePlace::Clock;
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
  // The core map, read again after any change of it was announced.
  bool CurrentMap();
  // After a map another client loaded (a layout switch): places whose key no longer holds
  // what we gave it are empty again, and borrowed key codes the new map uses or emptied
  // are no longer ours to use or to give back.
  void CheckPlacesAgainstMap();
  // A core or XKB announcement of a new map.
  bool MapChangeEvent(const xcb_generic_event_t* event) const;
  // Whether a change of the map was announced since the map was last read.
  bool MapChangedMeanwhile();
  bool FindKey(uint32_t keysym, uint8_t& keycode, bool& shift) const;
  bool IsPlaceCode(int keycode) const;
  void FindPlaces();
  // Writes the places of the key codes in one change; called with the server grabbed.
  bool WritePlaces(const std::vector<uint8_t>& keycodes);
  bool GiveBack(const std::map<uint8_t, XkbKeyEntry>& originals);
  void PressAndRelease(uint8_t keycode);
  void PressShifted(uint8_t keycode, bool shift);

  std::mutex mutex_;
  xcb_connection_t* connection_ = nullptr;
  bool failed_ = false;
  bool xkb_ = false;
  xcb_window_t root_ = 0;
  KeyMap map_;
  bool mapStale_ = true;
  uint8_t shiftKey_ = 0, capsKey_ = 0;
  bool placesFound_ = false;
  std::vector<SparePlace> places_;
  // The borrowed key codes with what they held before (no symbols).
  std::map<uint8_t, XkbKeyEntry> originals_;
  BorrowedKeysRecord record_;
};
