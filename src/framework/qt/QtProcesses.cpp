// QtRuntimeServices: this process, the program's other running copies, standard error.
#include "framework/qt/QtRuntimeServices.h"

#include <unistd.h>
#include <cstdio>

#include "framework/TextCodec.h"
#include "framework/platform/PrivateFiles.h"

int QtRuntimeServices::ProcessId() { return static_cast<int>(::getpid()); }

bool QtRuntimeServices::IsProgramRunning(int processId) { return IsSameProgramRunning(processId); }

void QtRuntimeServices::ReportProblem(const Text& line) {
  std::fprintf(stderr, "orvane-notepad: %s\n", Utf8FromText(line).c_str());
  std::fflush(stderr);
}
