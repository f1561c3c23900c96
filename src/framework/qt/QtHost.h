#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "framework/Events.h"
#include "framework/RuntimeServices.h"
#include "framework/WindowDefinition.h"

// The framework's side of the process: the toolkit, the runtime services, the main
// window and the message loop. Its header stays free of Qt so that main() is plain.
class QtHost {
 public:
  // Starts the toolkit and makes the program's folder the current directory, where the
  // file dialogs start. An installed copy's folder is not the user's to write: there
  // they start in the user's documents folder (else the home folder) instead.
  QtHost(int& argc, char** argv);
  ~QtHost();

  RuntimeServices& Services();
  // How the desktop tells the program's windows apart: their X11 class (className),
  // the desktop entry they belong to (also the Wayland app id), and the icon, made of
  // every image in iconFolder (a Qt resource folder). Called before LoadWindow.
  void SetDesktopIdentity(const std::string& className, const std::string& desktopFileName,
                          const std::string& iconFolder);
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
  // One copy per desktop session, unless separate is set: starts reaching the session bus
  // on a thread of its own (with no bus address set, libdbus asks dbus-launch, a process
  // of its own), so that the window is built meanwhile. LoadWindow then takes the
  // program's name there, or asks the copy that holds it to come to the front and to open
  // the file (empty: none). With no session bus, or when the other copy does not answer,
  // this one runs on its own.
  void JoinSession(const std::string& file, bool separate);
  // Builds the window hidden; then, once this copy is the session's one (JoinSession),
  // raises its created event and shows it centred and focused. Every later event of the
  // window goes to the sink. False when another copy took the request: the window was
  // never shown and this process has nothing more to do.
  bool LoadWindow(const WindowDefinition& definition, EventSink sink);
  // Runs the message loop until the window has closed, raises its destroyed event,
  // runs the exit routine and returns the process status, 0.
  int Run();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
