#include "framework/platform/FatalError.h"

#include <unistd.h>

#include <mutex>

namespace {
std::mutex handlerMutex;
FatalErrorHandler& Handler() {
  static FatalErrorHandler handler;
  return handler;
}
}  // namespace

void SetFatalErrorHandler(FatalErrorHandler handler) {
  std::lock_guard lock(handlerMutex);
  Handler() = std::move(handler);
}

void RaiseFatalError(const Text& message) {
  FatalErrorHandler handler;
  {
    std::lock_guard lock(handlerMutex);
    handler = Handler();
  }
  if (handler) handler(message);
  // Reached without a handler, or if the handler returned after all.
  const std::string line = message + "\n";
  [[maybe_unused]] auto written = ::write(STDERR_FILENO, line.data(), line.size());
  ::_exit(kFatalExitStatus);
}
