#include "framework/platform/LayoutKeys.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstring>
#include <string>

namespace {

// The keymap the compositor sends with a seat's keyboard.
struct SeatKeymap {
  wl_seat* seat = nullptr;
  wl_keyboard* keyboard = nullptr;
  std::string text;
};

void Announced(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* self = static_cast<SeatKeymap*>(data);
  if (!self->seat && std::string(interface) == wl_seat_interface.name)
    self->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
}
void Removed(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {Announced, Removed};

void Keymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
  auto* self = static_cast<SeatKeymap*>(data);
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
    void* bytes = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (bytes != MAP_FAILED) {
      const char* text = static_cast<const char*>(bytes);
      self->text.assign(text, strnlen(text, size));
      munmap(bytes, size);
    }
  }
  close(fd);
}
void Enter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void Leave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void Key(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void Modifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
const wl_keyboard_listener kKeyboard = {Keymap, Enter, Leave, Key, Modifiers, nullptr};

void Capabilities(void* data, wl_seat* seat, uint32_t capabilities) {
  auto* self = static_cast<SeatKeymap*>(data);
  if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !self->keyboard) {
    self->keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(self->keyboard, &kKeyboard, self);
  }
}
const wl_seat_listener kSeat = {Capabilities, nullptr};

std::string CompositorKeymap() {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return {};
  SeatKeymap found;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, &found);
  wl_display_roundtrip(display);
  if (found.seat) {
    wl_seat_add_listener(found.seat, &kSeat, &found);
    // The capabilities, then the keymap.
    for (int i = 0; i < 2; ++i) wl_display_roundtrip(display);
  }
  if (found.keyboard) wl_keyboard_destroy(found.keyboard);
  if (found.seat) wl_seat_destroy(found.seat);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return found.text;
}

}  // namespace

uint32_t LayoutKeys::KeysymOf(char32_t character) {
  if (character == U'\n' || character == U'\r') return XKB_KEY_Return;
  if (character == U'\t') return XKB_KEY_Tab;
  return xkb_utf32_to_keysym(character);
}

bool LayoutKeys::Has(uint32_t keysym) {
  std::call_once(read_, [this] { Read(); });
  return keysym != 0 && keysyms_.count(keysym) != 0;
}

void LayoutKeys::Read() {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (!context) return;
  const std::string text = CompositorKeymap();
  xkb_keymap* keymap =
      text.empty() ? nullptr
                   : xkb_keymap_new_from_string(context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (!keymap) keymap = xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (keymap) {
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap);
         ++key) {
      for (xkb_level_index_t level = 0; level < 2; ++level) {
        const xkb_keysym_t* syms = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(keymap, key, 0, level, &syms);
        for (int i = 0; i < count; ++i) keysyms_.insert(syms[i]);
      }
    }
    xkb_keymap_unref(keymap);
  }
  xkb_context_unref(context);
}
