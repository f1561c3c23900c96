#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "framework/Events.h"
#include "framework/RuntimeServices.h"
#include "framework/WindowDefinition.h"

// The framework's side of the process: the toolkit, the runtime services, the main
// window and the message loop. Its header stays free of Qt so that main() is plain.
class QtHost {
 public:
  // Starts the toolkit and makes the program's folder the current directory.
  QtHost(int& argc, char** argv);
  ~QtHost();

  RuntimeServices& Services();
  // Called once after the message loop has ended and the destroyed event has run.
  void SetExitRoutine(std::function<void()> routine);
  // From now on SIGTERM, SIGINT and SIGHUP run the routine once, from the message loop;
  // it returns the path of the recovery copy it wrote (empty when writing failed), or
  // nothing when there was nothing to keep. The path goes to standard error, open
  // dialogs and boxes are cancelled, and the loop ends once the window has closed.
  void SetTerminationRoutine(std::function<std::optional<Text>()> routine);
  // From now on a lost display, a fatal error (the run-time error box, qFatal) or an
  // uncaught exception on the user-interface thread run the routine once before the
  // process ends; it returns what a termination routine returns, and the path goes to
  // standard error the same way.
  void SetEmergencyRoutine(std::function<std::optional<Text>()> routine);
  // Builds the window hidden, raises its created event, then shows it centred and
  // focused. Every later event of the window goes to the sink.
  void LoadWindow(const WindowDefinition& definition, EventSink sink);
  // Runs the message loop until the window has closed, raises its destroyed event,
  // runs the exit routine and returns the process status, 0.
  int Run();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
