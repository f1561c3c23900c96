#pragma once

#include <xcb/xcb.h>

// Brings a top-level window to the front with the keyboard focus, as a task bar does when
// the user asks for it: through the window manager when one runs (_NET_ACTIVE_WINDOW with
// the pager's source, which focus-stealing prevention lets through), else directly.
void ActivateTopLevelWindow(xcb_connection_t* connection, xcb_window_t window);
