// A plain X client that turns the key presses it receives into text the way toolkits do
// (xkbcommon over the server's current keyboard map, refreshed when the map changes).
// Prints "window ID" once it has asked for its window, "shown MICROSECONDS" when the window
// is first exposed (with a window manager, once the manager has put it on the screen),
// "map MICROSECONDS" for every change of the keyboard map it is told of, and for every
// key press "key MICROSECONDS HEX", HEX being the UTF-8 bytes it produced ("esc" for
// Escape). A line "escape?" on stdin is
// answered "escape free" or "escape taken": whether another client grabs Escape alone
// on the root window. Ends when stdin ends.
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>
// xkb.h names a field "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/XcbKeyWindow.h"

namespace {

struct Keyboard {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  xkb_keymap* keymap = nullptr;
  xkb_state* state = nullptr;
  int32_t device = -1;

  void Load(xcb_connection_t* connection) {
    if (state) xkb_state_unref(state);
    if (keymap) xkb_keymap_unref(keymap);
    keymap =
        xkb_x11_keymap_new_from_device(context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    state = xkb_x11_state_new_from_device(keymap, connection, device);
  }
};

long long Microseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int main() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) return 1;
  uint8_t xkbEvent = 0;
  if (!xkb_x11_setup_xkb_extension(
          connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
          XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &xkbEvent, nullptr))
    return 1;
  Keyboard keyboard;
  keyboard.device = xkb_x11_get_core_keyboard_device_id(connection);
  keyboard.Load(connection);
  const uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
  const uint16_t parts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                         XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS |
                         XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_VIRTUAL_MODS |
                         XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
  xcb_xkb_select_events_details_t details = {};
  details.affectNewKeyboard = details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
  xcb_xkb_select_events_aux(connection, static_cast<xcb_xkb_device_spec_t>(keyboard.device), events,
                            0, 0, parts, parts, &details);

  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_window_t window = MapKeyWindow(connection, 300, 200);
  std::printf("window %u\n", window);
  std::fflush(stdout);

  pollfd fds[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {0, POLLIN, 0}};
  bool shown = false;
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
      const uint8_t kind = event->response_type & 0x7F;
      if (kind == xkbEvent || kind == XCB_MAPPING_NOTIFY) {
        // A change is told once for every keyboard device: counted for the core one.
        const auto* notify = reinterpret_cast<xcb_xkb_map_notify_event_t*>(event);
        if (kind == xkbEvent && notify->xkbType == XCB_XKB_MAP_NOTIFY &&
            notify->deviceID == keyboard.device)
          std::printf("map %lld\n", Microseconds());
        keyboard.Load(connection);
      } else if (kind == XCB_EXPOSE && !shown) {
        shown = true;
        std::printf("shown %lld\n", Microseconds());
      } else if (kind == XCB_KEY_PRESS) {
        const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        xkb_state_update_mask(keyboard.state, key->state & 0xFF, 0, 0, 0, 0,
                              (key->state >> 13) & 3);
        const xkb_keysym_t keysym = xkb_state_key_get_one_sym(keyboard.state, key->detail);
        if (keysym == XKB_KEY_Escape) {
          std::printf("esc\n");
        } else {
          char utf8[16] = {};
          if (keysym == XKB_KEY_Return)
            utf8[0] = '\n';
          else
            xkb_state_key_get_utf8(keyboard.state, key->detail, utf8, sizeof utf8);
          std::string hex;
          for (const char* c = utf8; *c; ++c) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(*c));
            hex += byte;
          }
          std::printf("key %lld %s\n", Microseconds(), hex.empty() ? "-" : hex.c_str());
        }
      }
      std::fflush(stdout);
      std::free(event);
    }
    if (xcb_connection_has_error(connection)) return 1;
    if (poll(fds, 2, -1) < 0) return 1;
    if (fds[1].revents) {
      char buffer[64];
      if (read(0, buffer, sizeof buffer) <= 0) break;
      const xcb_keycode_t escape = 9;  // Escape on the X server's default map
      xcb_generic_error_t* error = xcb_request_check(
          connection, xcb_grab_key_checked(connection, 1, screen->root, 0, escape,
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
      if (!error) xcb_ungrab_key(connection, escape, screen->root, 0);
      xcb_flush(connection);
      std::printf("escape %s\n", error ? "taken" : "free");
      std::fflush(stdout);
      std::free(error);
    }
  }
  xcb_disconnect(connection);
  return 0;
}
