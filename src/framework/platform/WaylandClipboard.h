#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// Puts text on the clipboard of a Wayland session while another program has the keyboard,
// through the data-control protocol (KWin, wlroots compositors; not mutter), on a Wayland
// connection of its own: a compositor gives the ordinary clipboard only to the program
// with the keyboard focus. The text is served, on a thread of its own, to every program
// that pastes it, until another program takes the clipboard or this object ends.
// Thread-safe.
class WaylandClipboard {
 public:
  WaylandClipboard();
  ~WaylandClipboard();
  WaylandClipboard(const WaylandClipboard&) = delete;
  WaylandClipboard& operator=(const WaylandClipboard&) = delete;

  // Whether the session lets us set its clipboard so (connects on first use).
  bool Available();
  // Makes the UTF-8 text the seat's clipboard; once this returns, the compositor has it,
  // so a paste pressed after it gets this text. A number for Read, or 0 when it could not.
  std::uint64_t Offer(const std::string& text);
  // Whether some program has read the whole text of that offer (or of a later one).
  bool Read(std::uint64_t offer);

 private:
  struct Connection;
  std::mutex mutex_;
  std::unique_ptr<Connection> connection_;
  bool failed_ = false;
};
