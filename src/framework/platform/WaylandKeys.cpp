#include "framework/platform/WaylandKeys.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstring>
#include <string>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace {

// Key codes 9..255 of the map (evdev codes 1..247): 247 characters per map.
constexpr int kFirstKeycode = 9;
constexpr int kLastKeycode = 255;
constexpr uint32_t kReturn = 0xff0d, kTab = 0xff09;
constexpr auto kLinger = std::chrono::milliseconds(150);  // as for the X11 spare places

uint32_t KeysymOf(char32_t character) {
  if (character == U'\n' || character == U'\r') return kReturn;
  if (character == U'\t') return kTab;
  if ((character >= 0x20 && character <= 0x7E) || (character >= 0xA0 && character <= 0xFF))
    return character;
  return 0x01000000u | character;
}

uint32_t Milliseconds() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// The map as XKB text; the compositor compiles it (types and compatibility from the
// system's own "complete" sets).
std::string KeymapText(const std::vector<SparePlace>& places) {
  std::string keycodes, symbols;
  for (const SparePlace& place : places) {
    if (place.keysym == 0) continue;
    const std::string name = "<K" + std::to_string(place.keycode) + ">";
    keycodes += name + " = " + std::to_string(place.keycode) + ";\n";
    char keysym[16];
    std::snprintf(keysym, sizeof keysym, "0x%x", place.keysym);
    symbols += "key " + name + " { [ " + keysym + " ] };\n";
  }
  return "xkb_keymap {\nxkb_keycodes \"orvane\" {\nminimum = 8;\nmaximum = 255;\n" + keycodes +
         "};\nxkb_types \"orvane\" { include \"complete\" };\n"
         "xkb_compatibility \"orvane\" { include \"complete\" };\n"
         "xkb_symbols \"orvane\" {\n" +
         symbols + "};\n};\n";
}

}  // namespace

struct WaylandKeys::Connection {
  wl_display* display = nullptr;
  wl_seat* seat = nullptr;
  zwp_virtual_keyboard_manager_v1* manager = nullptr;
  zwp_virtual_keyboard_v1* keyboard = nullptr;

  static void Announced(void* data, wl_registry* registry, uint32_t name, const char* interface,
                        uint32_t) {
    auto* self = static_cast<Connection*>(data);
    if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
      self->manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
          wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat == nullptr) {
      self->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    }
  }
  static void Removed(void*, wl_registry*, uint32_t) {}

  ~Connection() {
    if (keyboard) zwp_virtual_keyboard_v1_destroy(keyboard);
    if (display) {
      wl_display_roundtrip(display);
      wl_display_disconnect(display);
    }
  }
};

WaylandKeys::WaylandKeys() {
  for (int keycode = kFirstKeycode; keycode <= kLastKeycode; ++keycode)
    places_.push_back(SparePlace{static_cast<uint8_t>(keycode), 0, 0, {}});
}

WaylandKeys::~WaylandKeys() = default;

bool WaylandKeys::ConnectLocked() {
  if (connection_) return true;
  if (failed_) return false;
  failed_ = true;
  auto connection = std::make_unique<Connection>();
  connection->display = wl_display_connect(nullptr);
  if (!connection->display) return false;
  static const wl_registry_listener listener{&Connection::Announced, &Connection::Removed};
  wl_registry* registry = wl_display_get_registry(connection->display);
  wl_registry_add_listener(registry, &listener, connection.get());
  if (wl_display_roundtrip(connection->display) < 0 || !connection->manager || !connection->seat)
    return false;
  connection->keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
      connection->manager, connection->seat);
  connection_ = std::move(connection);
  // A keyboard must have a map before its first key.
  if (!UploadLocked() || wl_display_roundtrip(connection_->display) < 0) {
    connection_.reset();
    return false;
  }
  failed_ = false;
  return true;
}

bool WaylandKeys::UploadLocked() {
  const std::string text = KeymapText(places_);
  const int file = memfd_create("orvane-keymap", MFD_CLOEXEC);
  if (file < 0) return false;
  // The size counts the closing NUL, as the protocol asks.
  const bool written =
      write(file, text.c_str(), text.size() + 1) == static_cast<ssize_t>(text.size() + 1);
  if (written)
    zwp_virtual_keyboard_v1_keymap(connection_->keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file,
                                   static_cast<uint32_t>(text.size() + 1));
  close(file);
  return written && wl_display_flush(connection_->display) >= 0;
}

bool WaylandKeys::RoundTrip(void* display) {
  return display != nullptr && wl_display_roundtrip(static_cast<wl_display*>(display)) >= 0;
}

bool WaylandKeys::Available() {
  std::lock_guard lock(mutex_);
  return ConnectLocked();
}

bool WaylandKeys::Ready(char32_t character) {
  std::lock_guard lock(mutex_);
  return PlaceOf(places_, KeysymOf(character)) != nullptr;
}

void WaylandKeys::Prepare(const std::vector<char32_t>& coming) {
  std::lock_guard lock(mutex_);
  if (!ConnectLocked()) return;
  std::vector<uint32_t> keysyms;
  for (char32_t character : coming) keysyms.push_back(KeysymOf(character));
  // A Wayland client reads a new map before the keys that follow it, but an X11 program
  // under XWayland looks a key up when it handles it, with the map it has by then: a key
  // typed just before keeps its character a while (it became the next one's otherwise).
  const std::vector<SparePlace> before = places_;
  if (PlanSparePlaces(places_, keysyms, SparePlace::Clock::now(), kLinger).empty()) return;
  if (!UploadLocked()) places_ = before;
}

CharacterDelivery WaylandKeys::Send(char32_t character) {
  if (character == 0) return CharacterDelivery::Sent;
  if (!Ready(character)) Prepare({character});
  std::lock_guard lock(mutex_);
  if (!ConnectLocked()) return CharacterDelivery::Unavailable;
  SparePlace* place = PlaceOf(places_, KeysymOf(character));
  if (place == nullptr) return CharacterDelivery::KeyBusy;
  place->lastUse = SparePlace::Clock::now();
  const uint32_t key = place->keycode - 8u, time = Milliseconds();
  zwp_virtual_keyboard_v1_key(connection_->keyboard, time, key, WL_KEYBOARD_KEY_STATE_PRESSED);
  zwp_virtual_keyboard_v1_key(connection_->keyboard, time, key, WL_KEYBOARD_KEY_STATE_RELEASED);
  if (wl_display_flush(connection_->display) < 0) return CharacterDelivery::Unavailable;
  return CharacterDelivery::Sent;
}
