// A pointer and a keyboard for tests on wlroots compositors, which have none when headless.
// Both stay for as long as this runs, so programs see a seat that has them from the start.
// Reads lines from standard input: "move X Y", "press", "release" (the left button), "key
// CODE" (an evdev key code of the US layout, pressed and released), "ctrl CODE" (the same
// with Control held); "sync" answers "ok" once the compositor has handled what came before.
// Usage: virtual-input WIDTH HEIGHT (the desktop's size, for absolute positions)
#define _GNU_SOURCE
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

static struct zwlr_virtual_pointer_manager_v1* manager;
static struct zwp_virtual_keyboard_manager_v1* keyboards;
static struct wl_seat* seat;

// Control's bit in the modifiers of the map below.
static const uint32_t kControlMask = 1u << 2;

// The compositor compiles the map itself, includes and all.
static const char kKeymap[] =
    "xkb_keymap { xkb_keycodes { include \"evdev+aliases(qwerty)\" };"
    " xkb_types { include \"complete\" }; xkb_compat { include \"complete\" };"
    " xkb_symbols { include \"pc+us+inet(evdev)\" }; };";

static void Announced(void* data, struct wl_registry* registry, uint32_t name,
                      const char* interface, uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
  else if (strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
    keyboards = wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1);
  else if (strcmp(interface, wl_seat_interface.name) == 0 && seat == NULL)
    seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
}

static void Removed(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener kRegistry = {Announced, Removed};

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const unsigned width = (unsigned)atoi(argv[1]), height = (unsigned)atoi(argv[2]);
  struct wl_display* display = wl_display_connect(NULL);
  if (display == NULL) {
    fprintf(stderr, "no Wayland display\n");
    return 1;
  }
  wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, NULL);
  wl_display_roundtrip(display);
  if (manager == NULL || keyboards == NULL || seat == NULL) {
    fprintf(stderr, "the compositor offers no virtual pointer and keyboard\n");
    return 1;
  }
  struct zwlr_virtual_pointer_v1* pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
  struct zwp_virtual_keyboard_v1* keyboard =
      zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards, seat);
  const int map = memfd_create("keymap", MFD_CLOEXEC);
  if (map < 0 || write(map, kKeymap, sizeof kKeymap) != (ssize_t)sizeof kKeymap) return 1;
  zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, map, sizeof kKeymap);
  close(map);
  wl_display_roundtrip(display);
  char line[128];
  unsigned time = 0;
  while (fgets(line, sizeof line, stdin) != NULL) {
    unsigned x, y, code;
    time += 10;
    if (sscanf(line, "move %u %u", &x, &y) == 2) {
      zwlr_virtual_pointer_v1_motion_absolute(pointer, time, x, y, width, height);
    } else if (strncmp(line, "press", 5) == 0 || strncmp(line, "release", 7) == 0) {
      zwlr_virtual_pointer_v1_button(pointer, time, BTN_LEFT, line[0] == 'p');
    } else if (sscanf(line, "key %u", &code) == 1 || sscanf(line, "ctrl %u", &code) == 1) {
      // A virtual keyboard's keys change no modifiers: they are stated for the chord.
      const int chord = line[0] == 'c';
      if (chord) zwp_virtual_keyboard_v1_modifiers(keyboard, kControlMask, 0, 0, 0);
      zwp_virtual_keyboard_v1_key(keyboard, time, code, WL_KEYBOARD_KEY_STATE_PRESSED);
      zwp_virtual_keyboard_v1_key(keyboard, time + 5, code, WL_KEYBOARD_KEY_STATE_RELEASED);
      if (chord) zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
      wl_display_flush(display);
      continue;
    } else if (strncmp(line, "sync", 4) == 0) {
      if (wl_display_roundtrip(display) < 0) return 1;
      puts("ok");
      fflush(stdout);
      continue;
    } else {
      continue;
    }
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_flush(display);
  }
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
