#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class KeyGrabs;

// System-wide hot keys for the application's UI thread: X11 key grabs on the root
// window, read through a native event filter. Use it on the UI thread only; Register
// needs the QGuiApplication. Grabbed key presses are not passed on to any window.
class GlobalHotKeys {
 public:
  GlobalHotKeys();
  ~GlobalHotKeys();
  GlobalHotKeys(const GlobalHotKeys&) = delete;
  GlobalHotKeys& operator=(const GlobalHotKeys&) = delete;

  // Issues the next number (33001, 33002, ... in call order; a refused key uses up its
  // number too) and grabs the key with a modifier code (a sum of 1 Ctrl, 2 Shift, 4 Alt and
  // 8 Super) and a Windows virtual-key code. Returns the number, or 0
  // when the key is refused: unknown codes, held already, or not on X11.
  int Register(int modifiers, int virtualKey);

  // Ends the grab of a registered number; false when it holds nothing.
  bool Unregister(int number);

  // Called on the UI thread, after the key event has been handled, with the number of the
  // hot key at each press; holding a key down does not repeat it.
  void SetHandler(std::function<void(int number)> handler);

 private:
  class Filter;

  bool Attach();
  bool OnKeyEvent(const void* xcbEvent);

  int nextNumber_ = 33001;
  bool attached_ = false;
  std::function<void(int)> handler_;
  std::unique_ptr<QObject> context_;  // queued handler calls die with it
  std::unique_ptr<KeyGrabs> grabs_;
  std::unique_ptr<Filter> filter_;
  std::vector<uint8_t> held_;  // keycodes of hot keys that are down
  uint8_t lastReleasedKey_ = 0;
  uint32_t lastReleaseTime_ = 0;
};
