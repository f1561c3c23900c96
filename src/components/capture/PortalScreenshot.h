#pragma once

#include <QString>

#include "ScreenFreeze.h"

class QScreen;

// The output `screen` shows, as the session's Screenshot portal gives it without asking the
// user (Wayland sessions, where no program may read the screen itself). The call is
// asynchronous and waited for in an event loop of its own, so the window keeps painting.
// The picture is null when the portal refused, failed or did not answer; `failure` then
// says why, in a sentence for the user.
FrozenScreen FreezeThroughPortal(QScreen* screen, QString& failure);
