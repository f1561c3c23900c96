#include "framework/platform/KeyGrabs.h"

#include <X11/keysym.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

struct KeySymbolsDeleter {
  void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
};
using KeySymbols = std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter>;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// Every key that carries the keysym in any of its columns.
std::vector<xcb_keycode_t> KeycodesOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
  std::vector<xcb_keycode_t> keycodes;
  std::unique_ptr<xcb_keycode_t, FreeDeleter> list(xcb_key_symbols_get_keycode(symbols, keysym));
  for (const xcb_keycode_t* code = list.get(); code && *code != XCB_NO_SYMBOL; ++code) {
    keycodes.push_back(*code);
  }
  return keycodes;
}

}  // namespace

xcb_keysym_t KeysymOfVirtualKey(int virtualKey) {
  if (virtualKey >= 'A' && virtualKey <= 'Z') return XK_a + (virtualKey - 'A');
  if (virtualKey >= '0' && virtualKey <= '9') return XK_0 + (virtualKey - '0');
  if (virtualKey >= 0x70 && virtualKey <= 0x87) return XK_F1 + (virtualKey - 0x70);
  if (virtualKey >= 0x60 && virtualKey <= 0x69) return XK_KP_0 + (virtualKey - 0x60);
  switch (virtualKey) {
    case 0x08:
      return XK_BackSpace;
    case 0x13:
      return XK_Pause;
    case 0x2C:
      return XK_Print;
    case 0x09:
      return XK_Tab;
    case 0x0D:
      return XK_Return;
    case 0x1B:
      return XK_Escape;
    case 0x20:
      return XK_space;
    case 0x21:
      return XK_Prior;
    case 0x22:
      return XK_Next;
    case 0x23:
      return XK_End;
    case 0x24:
      return XK_Home;
    case 0x25:
      return XK_Left;
    case 0x26:
      return XK_Up;
    case 0x27:
      return XK_Right;
    case 0x28:
      return XK_Down;
    case 0x2D:
      return XK_Insert;
    case 0x2E:
      return XK_Delete;
    case 0x6A:
      return XK_KP_Multiply;
    case 0x6B:
      return XK_KP_Add;
    case 0x6D:
      return XK_KP_Subtract;
    case 0x6E:
      return XK_KP_Decimal;
    case 0x6F:
      return XK_KP_Divide;
    default:
      return 0;
  }
}

std::optional<uint16_t> ModifierMaskOfCode(int modifiers) {
  if (modifiers < 0 || modifiers > 15) return std::nullopt;
  uint16_t mask = 0;
  if (modifiers & 1) mask |= XCB_MOD_MASK_CONTROL;
  if (modifiers & 2) mask |= XCB_MOD_MASK_SHIFT;
  if (modifiers & 4) mask |= XCB_MOD_MASK_1;
  if (modifiers & 8) mask |= XCB_MOD_MASK_4;
  return mask;
}

KeyGrabs::KeyGrabs(xcb_connection_t* connection, xcb_window_t root)
    : connection_(connection), root_(root) {}

KeyGrabs::~KeyGrabs() {
  for (const Entry& entry : entries_) Ungrab(entry.keycodes, entry.grabbedMasks);
  if (!entries_.empty()) xcb_flush(connection_);
}

void KeyGrabs::Abandon() { entries_.clear(); }

bool KeyGrabs::Grab(int id, int modifiers, int virtualKey) {
  const xcb_keysym_t keysym = KeysymOfVirtualKey(virtualKey);
  const std::optional<uint16_t> mask = ModifierMaskOfCode(modifiers);
  if (id == 0 || keysym == 0 || !mask) return false;

  KeySymbols symbols(xcb_key_symbols_alloc(connection_));
  if (!symbols) return false;
  const std::vector<xcb_keycode_t> keycodes = KeycodesOf(symbols.get(), keysym);
  if (keycodes.empty()) return false;
  for (const Entry& entry : entries_) {
    const bool sharesKey = std::any_of(keycodes.begin(), keycodes.end(), [&](xcb_keycode_t code) {
      return std::find(entry.keycodes.begin(), entry.keycodes.end(), code) != entry.keycodes.end();
    });
    if (entry.mask == *mask && sharesKey) return false;
  }

  const uint16_t ignored = XCB_MOD_MASK_LOCK | NumLockMask(symbols.get());
  std::vector<uint16_t> masks;
  for (uint16_t variant = 0; variant <= ignored; ++variant) {
    if ((variant & ~ignored) == 0) masks.push_back(*mask | variant);
  }

  // Send every request before waiting for any answer: one round trip per check instead
  // of one per grab and check.
  std::vector<xcb_void_cookie_t> cookies;
  for (xcb_keycode_t keycode : keycodes) {
    for (uint16_t variantMask : masks) {
      cookies.push_back(xcb_grab_key_checked(connection_, 1, root_, variantMask, keycode,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
  }
  bool refused = false;
  for (xcb_void_cookie_t cookie : cookies) {
    // Every checked cookie must be collected, or its error stays queued.
    if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
      refused = true;
      std::free(error);
    }
  }
  if (refused) {
    // Ungrabbing a combination that another client holds leaves its grab alone.
    Ungrab(keycodes, masks);
    xcb_flush(connection_);
    return false;
  }
  entries_.push_back(Entry{id, *mask, ignored, keycodes, masks});
  return true;
}

bool KeyGrabs::Release(int id) {
  const auto entry =
      std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
  if (id == 0 || entry == entries_.end()) return false;
  Ungrab(entry->keycodes, entry->grabbedMasks);
  xcb_flush(connection_);
  entries_.erase(entry);
  return true;
}

int KeyGrabs::Match(xcb_keycode_t keycode, uint16_t state) const {
  for (const Entry& entry : entries_) {
    const uint16_t down = state & 0xFF & ~entry.ignored;
    if (down == entry.mask &&
        std::find(entry.keycodes.begin(), entry.keycodes.end(), keycode) != entry.keycodes.end()) {
      return entry.id;
    }
  }
  return 0;
}

uint16_t KeyGrabs::NumLockMask(xcb_key_symbols_t* symbols) const {
  const std::vector<xcb_keycode_t> numLockKeys = KeycodesOf(symbols, XK_Num_Lock);
  if (numLockKeys.empty()) return 0;
  std::unique_ptr<xcb_get_modifier_mapping_reply_t, FreeDeleter> reply(
      xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr));
  if (!reply) return 0;
  const xcb_keycode_t* map = xcb_get_modifier_mapping_keycodes(reply.get());
  const int perModifier = reply->keycodes_per_modifier;
  for (int modifier = 0; modifier < 8; ++modifier) {
    for (int i = 0; i < perModifier; ++i) {
      const xcb_keycode_t code = map[modifier * perModifier + i];
      if (code != 0 &&
          std::find(numLockKeys.begin(), numLockKeys.end(), code) != numLockKeys.end()) {
        return static_cast<uint16_t>(1u << modifier);
      }
    }
  }
  return 0;
}

void KeyGrabs::Ungrab(const std::vector<xcb_keycode_t>& keycodes,
                      const std::vector<uint16_t>& masks) {
  for (xcb_keycode_t keycode : keycodes) {
    for (uint16_t mask : masks) xcb_ungrab_key(connection_, keycode, root_, mask);
  }
}
