#include "framework/platform/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <initializer_list>

namespace termination_signals {
namespace {

int readEnd = -1;
int writeEnd = -1;
std::atomic<bool> arrived{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set inside a signal handler");

void OnSignal(int signal) {
  // Only async-signal-safe calls here; a full pipe drops the byte, and one waiting
  // byte is enough to end the program.
  arrived.store(true);
  const int savedErrno = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(writeEnd, &number, 1);
  errno = savedErrno;
}

}  // namespace

int Install() {
  if (readEnd >= 0) return readEnd;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  readEnd = ends[0];
  writeEnd = ends[1];
  struct sigaction action {};
  action.sa_handler = OnSignal;
  ::sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
  return readEnd;
}

int Take() {
  unsigned char number = 0;
  ssize_t got;
  do {
    got = ::read(readEnd, &number, 1);
  } while (got < 0 && errno == EINTR);
  return got == 1 ? number : 0;
}

bool Arrived() { return arrived.load(); }

}  // namespace termination_signals
