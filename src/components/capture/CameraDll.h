#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Freezes every screen and lets the user pick an area of it: Enter, a double-click or
   Ctrl+C copies the area to the clipboard, Ctrl+S saves it as a PNG file, Esc or a
   right-click cancels. `window` is the caller's X11 window id (0 for none); it is left as
   it is and gets the keyboard focus back afterwards. Returns 1 when the area was copied or
   saved, 0 when cancelled or when nothing could be captured, and only once the capture is
   over. On Wayland the picture comes from the desktop's Screenshot portal and the area is
   picked on the output the caller's window is on; a refused or failed request is said in
   one message box and returns 0. Must be called on the GUI thread of a running QApplication;
   returns 0 otherwise. */
__attribute__((visibility("default"))) int CameraSubArea(int window);

#ifdef __cplusplus
}
#endif
