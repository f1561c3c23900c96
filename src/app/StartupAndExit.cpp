#include "app/StartupAndExit.h"

void MainWindowCreated(Program& program) { program.services.ApplyFlatStyle(1); }

void MainWindowDestroyed(Program&) {}

void ExitProgram(Program& program) { program.services.CloseWindow(Control::_启动窗口); }

void ReleaseProgram(Program& program) {
  program.CurrentFileName.clear();
  program.typing.job.text.clear();
}
