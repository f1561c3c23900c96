#pragma once

#include <functional>

#include "framework/Types.h"

// A fatal run-time error shows its message and ends the process with status 255.
// The toolkit installs a handler that shows a stop-icon message box; without one
// the message goes to standard error. The handler must not return.
using FatalErrorHandler = std::function<void(const Text& message)>;
void SetFatalErrorHandler(FatalErrorHandler handler);
[[noreturn]] void RaiseFatalError(const Text& message);

constexpr int kFatalExitStatus = 255;
