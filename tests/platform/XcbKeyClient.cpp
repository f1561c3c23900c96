// A second X client for the hot-key tests, independent of the code under test.
//   XcbKeyClient window    maps a window and prints "window ID", then one line
//                          "press KEYSYM STATE" (hex) for each key press it receives.
//   XcbKeyClient hold-z    grabs Ctrl+NumLock+Z on the root window, prints "held" or
//                          "refused", and keeps the grab.
// Both end when standard input reaches its end.
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/XcbKeyWindow.h"

namespace {

// The modifier bit that carries Num_Lock, found the way any client must find it.
uint16_t NumLockMask(xcb_connection_t* connection, xcb_key_symbols_t* symbols) {
  xcb_keycode_t* numLock = xcb_key_symbols_get_keycode(symbols, XK_Num_Lock);
  xcb_get_modifier_mapping_reply_t* reply =
      xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
  uint16_t mask = 0;
  if (numLock && reply) {
    const xcb_keycode_t* map = xcb_get_modifier_mapping_keycodes(reply);
    for (int i = 0; i < 8 * reply->keycodes_per_modifier && mask == 0; ++i) {
      if (map[i] != 0 && map[i] == numLock[0]) mask = 1u << (i / reply->keycodes_per_modifier);
    }
  }
  std::free(reply);
  std::free(numLock);
  return mask;
}

// Events until standard input ends; returns false when the X connection breaks.
template <typename OnEvent>
bool Serve(xcb_connection_t* connection, OnEvent onEvent) {
  pollfd fds[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {0, POLLIN, 0}};
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
      onEvent(event);
      std::free(event);
    }
    if (xcb_connection_has_error(connection)) return false;
    if (poll(fds, 2, -1) < 0) return false;
    if (fds[1].revents) {
      char buffer[64];
      if (read(0, buffer, sizeof buffer) <= 0) return true;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || (std::strcmp(argv[1], "window") != 0 && std::strcmp(argv[1], "hold-z") != 0)) {
    std::fprintf(stderr, "usage: %s window|hold-z\n", argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) return 1;
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
  bool ok = false;

  if (std::strcmp(argv[1], "hold-z") == 0) {
    xcb_keycode_t* z = xcb_key_symbols_get_keycode(symbols, XK_z);
    const uint16_t mask = XCB_MOD_MASK_CONTROL | NumLockMask(connection, symbols);
    xcb_generic_error_t* error = xcb_request_check(
        connection, xcb_grab_key_checked(connection, 1, screen->root, mask, z[0],
                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::printf("%s\n", error ? "refused" : "held");
    std::free(error);
    std::free(z);
    ok = Serve(connection, [](xcb_generic_event_t*) {});
  } else {
    const xcb_window_t window = MapKeyWindow(connection, 200, 100);
    bool announced = false;
    ok = Serve(connection, [&](xcb_generic_event_t* event) {
      const uint8_t kind = event->response_type & 0x7F;
      if (kind == XCB_EXPOSE && !announced) {
        // Exposed means viewable, so the window can take the focus.
        std::printf("window %u\n", window);
        announced = true;
      } else if (kind == XCB_KEY_PRESS) {
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        std::printf("press 0x%x 0x%x\n", xcb_key_symbols_get_keysym(symbols, key->detail, 0),
                    key->state);
      }
    });
  }
  xcb_key_symbols_free(symbols);
  xcb_disconnect(connection);
  return ok ? 0 : 1;
}
