#include "framework/platform/DisplayCheck.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <string_view>

void ChooseWindowPlatform() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((platform && *platform) || !wayland || !*wayland) return;
  // Qt itself stays on X11 under GNOME even in a Wayland session.
  setenv("QT_QPA_PLATFORM", "wayland;xcb", 1);
}

std::string DisplayProblem() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform && std::string_view(platform).substr(0, 3) != "xcb") return {};
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display)
    return "orvane-notepad: cannot start: no X display (DISPLAY is not set); it needs an X11 "
           "session or XWayland";
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool failed = xcb_connection_has_error(connection) != 0;
  xcb_disconnect(connection);
  if (!failed) return {};
  return std::string("orvane-notepad: cannot start: cannot open the X display \"") + display + "\"";
}
