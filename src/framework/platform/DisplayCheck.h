#pragma once

#include <string>

// On a Wayland session (WAYLAND_DISPLAY set) the window runs natively on Qt's Wayland
// platform, falling back to X11 (XWayland) when that platform cannot start. A platform
// the user chose (QT_QPA_PLATFORM, "xcb" to force X11) is left alone. Call before the
// toolkit starts.
void ChooseWindowPlatform();

// Why the X display cannot be opened, as one line for standard error; empty when it
// can, or when the toolkit has been told to use another platform (QT_QPA_PLATFORM).
// The toolkit itself would abort with a core dump instead.
std::string DisplayProblem();
