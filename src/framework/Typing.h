#pragma once

#include <cstddef>
#include <vector>

#include "framework/Types.h"

// What became of a character sent to another window.
enum class CharacterDelivery {
  Sent,         // pressed and released while the window had the keyboard focus
  NotFocused,   // another window has the focus: nothing was sent
  KeysHeld,     // the user holds a key down: nothing was sent, try again shortly
  KeyBusy,      // no key is free for it yet (all hold characters just typed): try again shortly
  WindowGone,   // the window no longer exists
  Unavailable,  // no way to send keys on this display
};

// Typing into other programs' windows, as key presses.
class Typing {
 public:
  virtual ~Typing() = default;

  // The top-level window that has the keyboard focus; 0 when none has, or when it is
  // one of this program's own windows.
  virtual int FocusedWindow() = 0;
  // Sends one step of a script (a character; CR LF, LF or CR as Return, TAB as Tab) to
  // the window as key presses and releases, only if it has the keyboard focus at that
  // moment. An empty text sends nothing: the answer then only tells whether it would.
  virtual CharacterDelivery SendCharacter(int window, const Text& character) = 0;
  // Called between the steps of a run with its steps and the index of the next one: when
  // that one would need a change of the keyboard map, one change now readies as many of
  // the coming steps as the map has room for, so that no step waits for a change at its
  // time and the map changes seldom.
  virtual void PrepareCharacters(const std::vector<Text>& steps, std::size_t next) = 0;
  // Puts the keyboard map back as it was before the first SendCharacter.
  virtual void RestoreKeyboardMap() = 0;

  // --- Where only the keyboard layout's characters can be keyed --------------------
  // (GNOME and KDE on Wayland, through the desktop's remote-desktop portal.) Whether
  // SendCharacter can key the step into another window; true wherever any character can.
  virtual bool CanKeyIntoWindows(const Text& step) = 0;
  // Puts the text on the clipboard and presses Ctrl+V (Ctrl+Shift+V for a terminal) in the
  // window, only if it has the keyboard focus; returns once the window has taken the text
  // (Sent), or as SendCharacter does.
  virtual CharacterDelivery PasteIntoWindow(int window, const Text& text, bool terminal) = 0;
  // Whether PasteIntoWindow can reach another window here: GNOME lets only the program
  // with the keyboard focus fill the clipboard, which during a run is the target.
  virtual bool CanPasteIntoWindows() = 0;
};
