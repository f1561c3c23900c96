#pragma once

#include "framework/Types.h"

// This process, the program's other running copies, and standard error.
class Processes {
 public:
  virtual ~Processes() = default;

  // This process's id; whether another running process with that id is this program.
  virtual int ProcessId() = 0;
  virtual bool IsProgramRunning(int processId) = 0;
  // Writes the line to standard error (the program has no log).
  virtual void ReportProblem(const Text& line) = 0;
};
