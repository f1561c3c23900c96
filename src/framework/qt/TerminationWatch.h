#pragma once

#include <functional>

class QObject;

// Runs the routine on the user-interface thread, from the event loop, for every
// SIGTERM, SIGINT or SIGHUP the process receives (handled from now on). False when
// the signals could not be taken over; they then keep their default action.
bool WatchTerminationSignals(QObject* owner, std::function<void(int signal)> routine);
