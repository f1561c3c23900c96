#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/RuntimeServices.h"
#include "framework/platform/SparePlaces.h"

// Types characters into whichever window of a Wayland session has the keyboard focus,
// native or XWayland, through the virtual-keyboard protocol of wlroots compositors (sway)
// on a Wayland connection of its own. The virtual keyboard's map is ours alone: every key
// holds one character, and when the next character has no key, one new map gives the keys
// to the coming characters that have none, in order (the places logic of the X11 typing),
// so that a Chinese script changes the map seldom. A key just typed keeps its character a
// while, since X11 programs under XWayland look keys up late. Thread-safe.
class WaylandKeys {
 public:
  WaylandKeys();
  ~WaylandKeys();
  WaylandKeys(const WaylandKeys&) = delete;
  WaylandKeys& operator=(const WaylandKeys&) = delete;

  // Whether the session offers a virtual keyboard (connects on first use).
  bool Available();
  // Presses and releases the character's key ('\n' and '\r' as Return, '\t' as Tab).
  CharacterDelivery Send(char32_t character);
  bool Ready(char32_t character);
  // When the next of the coming characters has no key: one new map for the coming ones.
  void Prepare(const std::vector<char32_t>& coming);
  // Waits until the compositor has answered everything sent on that connection (a
  // wl_display), dispatching what it sent before; false when it cannot be reached.
  static bool RoundTrip(void* display);

 private:
  struct Connection;
  bool ConnectLocked();
  bool UploadLocked();

  std::mutex mutex_;
  std::unique_ptr<Connection> connection_;
  bool failed_ = false;
  std::vector<SparePlace> places_;
};
