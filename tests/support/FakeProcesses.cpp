#include "support/FakeRuntimeServices.h"

void FakeRuntimeServices::ReportProblem(const Text& line) {
  std::lock_guard lock(mutex_);
  problems_.push_back(line);
}

std::vector<Text> FakeRuntimeServices::Problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}
