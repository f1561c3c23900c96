// orvane-notepad: a notepad for people who record tutorial videos.
#include "app/EventTable.h"
#include "app/MainWindowDefinition.h"
#include "app/Program.h"
#include "app/StartupAndExit.h"
#include "framework/qt/QtHost.h"

int main(int argc, char** argv) {
  QtHost host(argc, argv);
  Program program(host.Services());
  host.SetExitRoutine([&program] { ReleaseProgram(program); });
  host.SetTerminationRoutine([&program] { return EndOnSignal(program); });
  host.LoadWindow(MainWindowDefinition(),
                  [&program](const Event& event) { DispatchEvent(program, event); });
  return host.Run();
}
