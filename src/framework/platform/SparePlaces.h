#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

// Places on the keyboard map for characters that have no key of their own: each key code
// the map leaves without symbols gives two, its first level and (with Shift) its second.
struct SparePlace {
  using Clock = std::chrono::steady_clock;
  uint8_t keycode = 0;
  int level = 0;        // 0 first, 1 second (Shift)
  uint32_t keysym = 0;  // 0 while it holds nothing
  Clock::time_point lastUse{};
};

// Decides what the places hold so that as many of the coming keysyms (in typing order, the
// next one first) as fit can be typed without another change: keysyms already in a place
// stay where they are, a place typed with less than `linger` ago keeps its keysym (the
// receiver may not have looked its key up yet), the others take the coming keysyms that
// have no place, in order, until none is left. Does nothing when the next keysym already
// has a place. Returns the key codes whose symbols changed (empty: no change needed, or no
// place could be freed for the next keysym).
std::vector<uint8_t> PlanSparePlaces(std::vector<SparePlace>& places,
                                     const std::vector<uint32_t>& coming,
                                     SparePlace::Clock::time_point now,
                                     SparePlace::Clock::duration linger);

// The place holding the keysym, or null.
SparePlace* PlaceOf(std::vector<SparePlace>& places, uint32_t keysym);
