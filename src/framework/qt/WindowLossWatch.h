#pragma once

#include <functional>

class QWidget;

// Runs the routine from the event loop when another X client destroys the window's native
// window (XDestroyWindow, which `xdotool windowclose` sends): the program would otherwise
// go on without a window, its hot keys taken and a typing run still typing. A window the
// program destroys or creates again itself is not reported. Nothing on other platforms.
void WatchWindowDestroyedByOthers(QWidget* window, std::function<void()> routine);
