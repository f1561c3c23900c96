#pragma once

#include <xcb/xcb.h>

#include <cstdint>

// Maps a plain white top-level window that reports key presses and exposure, for the test
// clients that stand for other programs taking typed keys; its id.
inline xcb_window_t MapKeyWindow(xcb_connection_t* connection, std::uint16_t width,
                                 std::uint16_t height) {
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_window_t window = xcb_generate_id(connection);
  const std::uint32_t values[] = {screen->white_pixel,
                                  XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_EXPOSURE};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, width, height, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  xcb_map_window(connection, window);
  xcb_flush(connection);
  return window;
}
