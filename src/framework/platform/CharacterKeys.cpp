#include "framework/platform/CharacterKeys.h"

#include <X11/keysym.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename Reply>
using Owned = std::unique_ptr<Reply, FreeDeleter>;

// Spare key codes taken at most, and how long a spare keeps its keysym after use: the
// receiver looks the key up only when it gets to the event, perhaps after the next
// character has been sent.
constexpr std::size_t kMaxSpares = 8;
constexpr auto kLinger = std::chrono::milliseconds(150);

uint32_t KeysymOf(char32_t character) {
  if (character == U'\n' || character == U'\r') return XK_Return;
  if (character == U'\t') return XK_Tab;
  if ((character >= 0x20 && character <= 0x7E) || (character >= 0xA0 && character <= 0xFF))
    return character;
  return 0x01000000u | character;
}

// Within the grabbed server, the focus cannot move and the map cannot change.
class ServerGrab {
 public:
  explicit ServerGrab(xcb_connection_t* c) : c_(c) { xcb_grab_server(c_); }
  ~ServerGrab() {
    xcb_ungrab_server(c_);
    xcb_flush(c_);
  }

 private:
  xcb_connection_t* c_;
};

}  // namespace

CharacterKeys::~CharacterKeys() {
  std::lock_guard lock(mutex_);
  if (!connection_) return;
  RestoreLocked();
  xcb_disconnect(connection_);
}

bool CharacterKeys::Connect() {
  if (connection_) return true;
  if (failed_) return false;
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
  const xcb_query_extension_reply_t* xtest = xcb_connection_has_error(connection)
                                                 ? nullptr
                                                 : xcb_get_extension_data(connection, &xcb_test_id);
  if (!xtest || !xtest->present) {
    xcb_disconnect(connection);
    failed_ = true;
    return false;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
  root_ = screens.data->root;
  connection_ = connection;
  return true;
}

uint32_t CharacterKeys::FocusedTopLevel() {
  std::lock_guard lock(mutex_);
  if (!Connect()) return 0;
  Owned<xcb_get_input_focus_reply_t> focus(
      xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT) return 0;
  return TopLevelLocked(focus->focus);
}

uint32_t CharacterKeys::TopLevelOf(uint32_t window) {
  std::lock_guard lock(mutex_);
  return Connect() ? TopLevelLocked(window) : 0;
}

uint32_t CharacterKeys::TopLevelLocked(uint32_t window) {
  if (window == root_) return 0;
  while (window != XCB_NONE) {
    Owned<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
    if (!tree) return 0;
    if (tree->parent == root_ || tree->parent == XCB_NONE) return window;
    window = tree->parent;
  }
  return 0;
}

bool CharacterKeys::FetchMap(KeyMap& map) {
  const xcb_setup_t* setup = xcb_get_setup(connection_);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  Owned<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(
      connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr));
  if (!reply || reply->keysyms_per_keycode == 0) return false;
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
  map.first = setup->min_keycode;
  map.perKeycode = reply->keysyms_per_keycode;
  map.keysyms.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
  perKeycode_ = map.perKeycode;
  return true;
}

bool CharacterKeys::FindKey(const KeyMap& map, uint32_t keysym, uint8_t& keycode,
                            bool& shift) const {
  for (int i = 0; i < map.Count(); ++i) {
    const int code = map.first + i;
    if (std::any_of(spares_.begin(), spares_.end(),
                    [&](const Spare& s) { return s.keycode == code; }))
      continue;
    uint32_t lower = map.At(code, 0);
    uint32_t upper = map.perKeycode > 1 ? map.At(code, 1) : 0;
    // A key with one letter carries both cases.
    if (upper == 0 && lower >= 'a' && lower <= 'z') upper = lower - 'a' + 'A';
    if (upper == 0 && lower >= 'A' && lower <= 'Z') upper = lower, lower = lower - 'A' + 'a';
    if (lower == keysym || upper == keysym) {
      keycode = static_cast<uint8_t>(code);
      shift = lower != keysym;
      return true;
    }
  }
  return false;
}

CharacterKeys::Spare* CharacterKeys::SpareFor(const KeyMap& map, uint32_t keysym) {
  if (spares_.empty()) {
    for (int code = map.first + map.Count() - 1; code >= map.first && spares_.size() < kMaxSpares;
         --code) {
      bool blank = true;
      for (int column = 0; column < map.perKeycode; ++column) blank &= map.At(code, column) == 0;
      if (blank) spares_.push_back(Spare{static_cast<uint8_t>(code)});
    }
  }
  if (spares_.empty()) return nullptr;
  for (Spare& spare : spares_) {
    if (spare.keysym == keysym) return &spare;
  }
  Spare* oldest =
      &*std::min_element(spares_.begin(), spares_.end(),
                         [](const Spare& a, const Spare& b) { return a.lastUse < b.lastUse; });
  std::this_thread::sleep_until(oldest->lastUse + kLinger);
  return oldest;
}

void CharacterKeys::MapSpare(Spare& spare, uint32_t keysym) {
  // Every column the same keysym: no level, group or Caps Lock changes it.
  const std::vector<xcb_keysym_t> columns(static_cast<std::size_t>(perKeycode_), keysym);
  xcb_change_keyboard_mapping(connection_, 1, spare.keycode, static_cast<uint8_t>(perKeycode_),
                              columns.data());
  spare.keysym = keysym;
}

bool CharacterKeys::AnyKeyDown() {
  // Also a key that is not a modifier: while the key of a passive grab (a hot key) is
  // down, the keyboard belongs to the grabbing client, not to the focused window.
  Owned<xcb_query_keymap_reply_t> keys(
      xcb_query_keymap_reply(connection_, xcb_query_keymap(connection_), nullptr));
  return keys && std::any_of(std::begin(keys->keys), std::end(keys->keys),
                             [](uint8_t bits) { return bits != 0; });
}

void CharacterKeys::PressAndRelease(uint8_t keycode) {
  xcb_test_fake_input(connection_, XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  xcb_test_fake_input(connection_, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

CharacterDelivery CharacterKeys::Send(uint32_t topLevel, char32_t character) {
  std::lock_guard lock(mutex_);
  if (!Connect()) return CharacterDelivery::Unavailable;
  KeyMap map;
  if (!FetchMap(map)) return CharacterDelivery::Unavailable;
  const uint32_t keysym = KeysymOf(character);
  uint8_t keycode = 0, shiftKey = 0, capsKey = 0;
  bool shift = false, unused = false;
  FindKey(map, XK_Shift_L, shiftKey, unused);
  FindKey(map, XK_Caps_Lock, capsKey, unused);
  const bool onMap = character != 0 && FindKey(map, keysym, keycode, shift);
  // Chosen before the grab: choosing may wait for a spare to be free again.
  Spare* spare = character != 0 && !onMap ? SpareFor(map, keysym) : nullptr;
  if (character != 0 && !onMap && !spare) return CharacterDelivery::Unavailable;

  ServerGrab grab(connection_);
  Owned<xcb_get_window_attributes_reply_t> target(xcb_get_window_attributes_reply(
      connection_, xcb_get_window_attributes(connection_, topLevel), nullptr));
  if (!target) return CharacterDelivery::WindowGone;
  Owned<xcb_get_input_focus_reply_t> focus(
      xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
      TopLevelLocked(focus->focus) != topLevel)
    return CharacterDelivery::NotFocused;
  if (character == 0) return CharacterDelivery::Sent;
  if (AnyKeyDown()) return CharacterDelivery::KeysHeld;

  Owned<xcb_query_pointer_reply_t> pointer(
      xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr));
  const uint16_t state = pointer ? pointer->mask : 0;
  const bool capsLock = (state & XCB_MOD_MASK_LOCK) && capsKey != 0;
  const bool otherGroup = (state >> 13) & 3;
  if (onMap && (otherGroup || (shift && shiftKey == 0))) {
    // Its key types something else in this group: a spare key code instead.
    spare = SpareFor(map, keysym);
    if (!spare) return CharacterDelivery::Unavailable;
  }
  if (spare) {
    if (spare->keysym != keysym) MapSpare(*spare, keysym);
    keycode = spare->keycode;
    shift = false;
    spare->lastUse = Clock::now();
  }
  // Caps Lock is switched off around the character and on again after it.
  if (capsLock) PressAndRelease(capsKey);
  if (shift)
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, shiftKey, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  PressAndRelease(keycode);
  if (shift)
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, shiftKey, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                        0);
  if (capsLock) PressAndRelease(capsKey);
  return CharacterDelivery::Sent;
}

void CharacterKeys::RestoreMap() {
  std::lock_guard lock(mutex_);
  if (connection_) RestoreLocked();
}

void CharacterKeys::RestoreLocked() {
  bool changed = false;
  for (Spare& spare : spares_) {
    if (spare.keysym == 0) continue;
    std::this_thread::sleep_until(spare.lastUse + kLinger);
    const std::vector<xcb_keysym_t> blank(static_cast<std::size_t>(perKeycode_), 0);
    xcb_change_keyboard_mapping(connection_, 1, spare.keycode, static_cast<uint8_t>(perKeycode_),
                                blank.data());
    changed = true;
  }
  spares_.clear();
  if (changed)
    Owned<xcb_get_input_focus_reply_t>(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}
