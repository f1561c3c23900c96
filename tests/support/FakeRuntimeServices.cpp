#include "support/FakeRuntimeServices.h"

FakeRuntimeServices::FakeRuntimeServices() = default;

std::vector<RecordedCall> FakeRuntimeServices::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

void FakeRuntimeServices::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}
