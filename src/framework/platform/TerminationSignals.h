#pragma once

// SIGTERM, SIGINT and SIGHUP turned into bytes on a pipe (the self-pipe trick): the
// handler only writes the signal's number, so the program can end in order from its
// event loop instead of inside a signal handler.
namespace termination_signals {

// Installs the handlers once; the pipe's read end (non-blocking), or -1 on failure.
// Later calls return the same descriptor.
int Install();
// The next signal number waiting on the pipe, or 0 when none is.
int Take();
// Whether one of the signals has arrived since Install; safe on any thread, so that a
// wait that holds up the event loop (a network fetch) can give up at once.
bool Arrived();

}  // namespace termination_signals
