#pragma once

#include <atomic>
#include <functional>

#include "framework/Dialogs.h"
#include "framework/Threads.h"
#include "framework/Uses.h"

// How far a worker has got, for the progress box: 0 to 100.
using WorkPercent = std::atomic<int>;

// Runs work on a worker thread while the user-interface thread goes on handling events
// (the window repaints, a signal is answered). Once it has taken half a second, a
// progress box with a cancel button shows how far it got. True when the work ran to its
// end. False when the user cancelled or giveUp() turned true: the worker has then been
// asked to stop, and its remaining requests on controls change nothing. The work (and
// what it holds) lives on with the worker until it returns.
bool RunWithProgress(Uses<Dialogs, Threads> services, const Text& label,
                     std::function<void(WorkPercent&)> work, const std::function<bool()>& giveUp);
