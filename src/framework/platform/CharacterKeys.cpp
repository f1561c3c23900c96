#include "framework/platform/CharacterKeys.h"

#include <X11/keysym.h>
#include <unistd.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename Reply>
using Owned = std::unique_ptr<Reply, FreeDeleter>;

// How long a place keeps its keysym after use: the receiver looks the key up only when it
// gets to the event, perhaps after the next change of the map.
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

// What a killed copy left in a place: one group of two levels.
bool LooksBorrowed(const XkbKeyEntry& entry) {
  const XkbKeyEntry sample = TwoLevelKey(1, 1);
  return entry.size() == sample.size() &&
         std::equal(sample.begin(), sample.begin() + 8, entry.begin());
}

}  // namespace

CharacterKeys::~CharacterKeys() {
  RestoreMap();
  std::lock_guard lock(mutex_);
  if (connection_) xcb_disconnect(connection_);
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
  xkb_ = UseXkb(connection);
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

bool CharacterKeys::CurrentMap() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    if (MapChangeEvent(event)) mapStale_ = true;
    std::free(event);
  }
  if (!mapStale_) return true;
  const xcb_setup_t* setup = xcb_get_setup(connection_);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  Owned<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(
      connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr));
  if (!reply || reply->keysyms_per_keycode == 0) return false;
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
  map_.first = setup->min_keycode;
  map_.perKeycode = reply->keysyms_per_keycode;
  map_.keysyms.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
  mapStale_ = false;
  bool unused = false;
  if (!FindKey(XK_Shift_L, shiftKey_, unused)) shiftKey_ = 0;
  if (!FindKey(XK_Caps_Lock, capsKey_, unused)) capsKey_ = 0;
  if (!placesFound_) FindPlaces();
  CheckPlacesAgainstMap();
  return true;
}

void CharacterKeys::CheckPlacesAgainstMap() {
  std::vector<uint8_t> taken;
  for (auto borrowed = originals_.begin(); borrowed != originals_.end();) {
    const uint8_t code = borrowed->first;
    bool blank = true, foreign = false;
    for (int column = 0; column < map_.perKeycode; ++column) {
      const uint32_t keysym = map_.At(code, column);
      if (keysym == 0) continue;
      blank = false;
      foreign |= std::none_of(places_.begin(), places_.end(), [&](const SparePlace& p) {
        return p.keycode == code && p.keysym == keysym;
      });
    }
    if (foreign) taken.push_back(code);
    borrowed = blank || foreign ? originals_.erase(borrowed) : std::next(borrowed);
  }
  for (SparePlace& place : places_)
    if (place.keysym != 0 &&
        (place.level >= map_.perKeycode || map_.At(place.keycode, place.level) != place.keysym))
      place.keysym = 0;
  places_.erase(std::remove_if(places_.begin(), places_.end(),
                               [&](const SparePlace& p) {
                                 return std::find(taken.begin(), taken.end(), p.keycode) !=
                                        taken.end();
                               }),
                places_.end());
}

bool CharacterKeys::MapChangeEvent(const xcb_generic_event_t* event) const {
  return (event->response_type & 0x7F) == XCB_MAPPING_NOTIFY ||
         (xkb_ && IsXkbEvent(connection_, event));
}

bool CharacterKeys::MapChangedMeanwhile() {
  while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_)) {
    if (MapChangeEvent(event)) mapStale_ = true;
    std::free(event);
  }
  return mapStale_;
}

bool CharacterKeys::IsPlaceCode(int keycode) const {
  return std::any_of(places_.begin(), places_.end(),
                     [&](const SparePlace& p) { return p.keycode == keycode; });
}

void CharacterKeys::FindPlaces() {
  placesFound_ = true;
  for (int code = map_.first; code < map_.first + map_.Count(); ++code) {
    bool blank = true;
    for (int column = 0; column < map_.perKeycode; ++column) blank &= map_.At(code, column) == 0;
    if (!blank) continue;
    places_.push_back(SparePlace{static_cast<uint8_t>(code), 0});
    // The second level needs Shift, and the two-level form XKB gives.
    if (shiftKey_ != 0 && xkb_) places_.push_back(SparePlace{static_cast<uint8_t>(code), 1});
  }
}

bool CharacterKeys::FindKey(uint32_t keysym, uint8_t& keycode, bool& shift) const {
  for (int i = 0; i < map_.Count(); ++i) {
    const int code = map_.first + i;
    if (IsPlaceCode(code)) continue;
    uint32_t lower = map_.At(code, 0);
    uint32_t upper = map_.perKeycode > 1 ? map_.At(code, 1) : 0;
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

bool CharacterKeys::WritePlaces(const std::vector<uint8_t>& keycodes) {
  if (keycodes.empty()) return true;
  const auto level = [&](uint8_t code, int which) {
    for (const SparePlace& p : places_)
      if (p.keycode == code && p.level == which) return p.keysym;
    return 0u;
  };
  mapStale_ = true;
  if (!xkb_) {
    // Without XKB, one core change a key code.
    for (uint8_t code : keycodes) {
      std::vector<xcb_keysym_t> columns(static_cast<std::size_t>(map_.perKeycode), level(code, 0));
      xcb_change_keyboard_mapping(connection_, 1, code, static_cast<uint8_t>(map_.perKeycode),
                                  columns.data());
      originals_.emplace(code, XkbKeyEntry());
      if (level(code, 0) == 0) originals_.erase(code);
    }
    return true;
  }
  const uint8_t first = *std::min_element(keycodes.begin(), keycodes.end());
  const uint8_t last = *std::max_element(keycodes.begin(), keycodes.end());
  std::vector<XkbKeyEntry> entries;
  if (!ReadXkbKeys(connection_, first, last - first + 1, entries)) return false;
  std::vector<uint8_t> given;
  for (uint8_t code : keycodes) {
    XkbKeyEntry& entry = entries[code - first];
    if (!originals_.count(code)) {
      if (!EmptyKey(entry)) {
        // Another program has given the key symbols since: it is not ours to use.
        places_.erase(std::remove_if(places_.begin(), places_.end(),
                                     [&](const SparePlace& p) { return p.keycode == code; }),
                      places_.end());
        continue;
      }
      originals_[code] = entry;
    }
    const uint32_t lower = level(code, 0), upper = level(code, 1);
    if (lower == 0 && upper == 0) {
      entry = originals_[code];
      given.push_back(code);
    } else {
      entry = TwoLevelKey(lower, upper);
    }
  }
  if (!WriteXkbKeys(connection_, first, entries)) return false;
  for (uint8_t code : given) originals_.erase(code);
  return true;
}

bool CharacterKeys::GiveBack(const std::map<uint8_t, XkbKeyEntry>& originals) {
  for (SparePlace& place : places_) place.keysym = 0;
  std::vector<uint8_t> codes;
  for (const auto& [code, entry] : originals) codes.push_back(code);
  return WritePlaces(codes);
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

void CharacterKeys::PressShifted(uint8_t keycode, bool shift) {
  if (shift)
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, shiftKey_, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  PressAndRelease(keycode);
  if (shift)
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, shiftKey_, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                        0);
}

bool CharacterKeys::Ready(char32_t character) {
  std::lock_guard lock(mutex_);
  if (!Connect() || !CurrentMap()) return true;
  uint8_t keycode = 0;
  bool shift = false;
  const uint32_t keysym = KeysymOf(character);
  return FindKey(keysym, keycode, shift) || PlaceOf(places_, keysym) != nullptr;
}

void CharacterKeys::Prepare(const std::vector<char32_t>& coming) {
  std::lock_guard lock(mutex_);
  if (!Connect() || !CurrentMap()) return;
  std::vector<uint32_t> keysyms;
  for (char32_t character : coming) {
    uint8_t keycode = 0;
    bool shift = false;
    const uint32_t keysym = KeysymOf(character);
    if (!FindKey(keysym, keycode, shift)) keysyms.push_back(keysym);
  }
  std::vector<SparePlace> planned = places_;
  const std::vector<uint8_t> changed = PlanSparePlaces(planned, keysyms, Clock::now(), kLinger);
  if (changed.empty()) return;
  std::vector<uint8_t> codes;
  for (const SparePlace& place : places_) codes.push_back(place.keycode);
  record_.Write(codes);  // before the map changes: a killed copy leaves the list
  places_ = planned;
  ServerGrab grab(connection_);
  WritePlaces(changed);
}

CharacterDelivery CharacterKeys::Send(uint32_t topLevel, char32_t character) {
  std::lock_guard lock(mutex_);
  if (!Connect()) return CharacterDelivery::Unavailable;
  if (character == 0) {
    // Only a question: no keys, so no grab.
    Owned<xcb_get_window_attributes_reply_t> target(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, topLevel), nullptr));
    if (!target) return CharacterDelivery::WindowGone;
    Owned<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    return focus && focus->focus != XCB_NONE && focus->focus != XCB_INPUT_FOCUS_POINTER_ROOT &&
                   TopLevelLocked(focus->focus) == topLevel
               ? CharacterDelivery::Sent
               : CharacterDelivery::NotFocused;
  }
  if (!CurrentMap()) return CharacterDelivery::Unavailable;
  const uint32_t keysym = KeysymOf(character);
  uint8_t keycode = 0;
  bool shift = false;
  bool onMap = FindKey(keysym, keycode, shift);
  std::vector<uint8_t> codes;
  for (const SparePlace& place : places_) codes.push_back(place.keycode);
  if (!onMap) record_.Write(codes);

  ServerGrab grab(connection_);
  Owned<xcb_get_window_attributes_reply_t> target(xcb_get_window_attributes_reply(
      connection_, xcb_get_window_attributes(connection_, topLevel), nullptr));
  if (!target) return CharacterDelivery::WindowGone;
  Owned<xcb_get_input_focus_reply_t> focus(
      xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
      TopLevelLocked(focus->focus) != topLevel)
    return CharacterDelivery::NotFocused;
  if (AnyKeyDown()) return CharacterDelivery::KeysHeld;
  // A map another client loaded before the grab is announced before the replies above:
  // the key chosen from the old one may type something else now.
  if (MapChangedMeanwhile()) return CharacterDelivery::KeyBusy;

  Owned<xcb_query_pointer_reply_t> pointer(
      xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr));
  const uint16_t state = pointer ? pointer->mask : 0;
  const bool capsLock = (state & XCB_MOD_MASK_LOCK) && capsKey_ != 0;
  const bool otherGroup = (state >> 13) & 3;
  // Its key types something else in this group: a place instead.
  if (onMap && (otherGroup || (shift && shiftKey_ == 0))) {
    onMap = false;
    record_.Write(codes);
  }
  if (!onMap) {
    // A map with no free key code cannot type the character at all.
    if (places_.empty()) return CharacterDelivery::Unavailable;
    SparePlace* place = PlaceOf(places_, keysym);
    if (!place) {
      const std::vector<uint8_t> changed =
          PlanSparePlaces(places_, {keysym}, Clock::now(), kLinger);
      if (changed.empty() || !WritePlaces(changed)) return CharacterDelivery::KeyBusy;
      place = PlaceOf(places_, keysym);
      if (!place) return CharacterDelivery::KeyBusy;
    }
    keycode = place->keycode;
    shift = place->level == 1;
    place->lastUse = Clock::now();
  }
  // Caps Lock is switched off around the character and on again after it.
  if (capsLock) PressAndRelease(capsKey_);
  PressShifted(keycode, shift);
  if (capsLock) PressAndRelease(capsKey_);
  return CharacterDelivery::Sent;
}

void CharacterKeys::RestoreMap() {
  for (;;) {
    Clock::time_point until{};
    {
      std::lock_guard lock(mutex_);
      if (!connection_) return;
      if (originals_.empty()) {
        record_.Remove();
        return;
      }
      for (const SparePlace& place : places_)
        if (place.keysym != 0) until = std::max(until, place.lastUse + kLinger);
      if (until <= Clock::now()) {
        // Codes that a map loaded since has taken or emptied are not given back.
        CurrentMap();
        {
          ServerGrab grab(connection_);
          GiveBack(originals_);
        }
        Owned<xcb_get_input_focus_reply_t>(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        record_.Remove();
        return;
      }
    }
    std::this_thread::sleep_until(until);
  }
}

void CharacterKeys::RestoreLeftovers() {
  const std::vector<BorrowedKeysRecord::Leftover> leftovers =
      BorrowedKeysRecord::LeftOnThisDisplay();
  if (leftovers.empty()) return;
  std::lock_guard lock(mutex_);
  if (!Connect() || !xkb_) return;
  for (const BorrowedKeysRecord::Leftover& leftover : leftovers) {
    if (!leftover.keycodes.empty()) {
      const uint8_t first = *std::min_element(leftover.keycodes.begin(), leftover.keycodes.end());
      const uint8_t last = *std::max_element(leftover.keycodes.begin(), leftover.keycodes.end());
      ServerGrab grab(connection_);
      std::vector<XkbKeyEntry> entries;
      if (!ReadXkbKeys(connection_, first, last - first + 1, entries)) continue;
      bool changed = false;
      for (uint8_t code : leftover.keycodes) {
        if (!LooksBorrowed(entries[code - first])) continue;
        entries[code - first] = XkbKeyEntry(8, 0);
        changed = true;
      }
      if (changed && !WriteXkbKeys(connection_, first, entries)) continue;
      mapStale_ = true;
    }
    ::unlink(leftover.path.c_str());
  }
}
