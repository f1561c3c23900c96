#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Holds a text on the X11 clipboard (CLIPBOARD) of the display in DISPLAY, on a connection
// and a thread of its own, and hands it to every program that asks until another takes the
// clipboard. On a GNOME Wayland session that display is the desktop's XWayland, and mutter
// makes what an X11 program holds there the session's clipboard, whichever window has the
// keyboard; a Wayland program may fill the clipboard only while it has the keyboard.
// Thread-safe.
class X11Clipboard {
 public:
  X11Clipboard();
  ~X11Clipboard();
  X11Clipboard(const X11Clipboard&) = delete;
  X11Clipboard& operator=(const X11Clipboard&) = delete;

  // Whether the display can be reached (connects on first use).
  bool Available();
  // Takes the clipboard with the text; true once some program has asked what it holds
  // (the desktop does so when it adopts it), within the time limit. False at once when
  // the display cannot be reached or the text is more than it takes in one piece.
  bool Offer(const std::string& utf8, int withinMs);
  // Whether a program has read the text of the last offer.
  bool Read();

 private:
  struct Connection;
  bool ConnectLocked();
  void Serve();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::unique_ptr<Connection> connection_;
  bool failed_ = false;
  std::string text_;
  bool asked_ = false;  // since the last offer: what it holds
  bool read_ = false;   // since the last offer: the text itself
  std::thread server_;
};
