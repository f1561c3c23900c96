#include "support/FakeRuntimeServices.h"

ByteBuffer FakeRuntimeServices::FetchUrl(const Text& address, int* httpStatus) {
  std::lock_guard lock(mutex_);
  Record(FetchUrlCall{address});
  auto found = pages_.find(address);
  if (httpStatus) *httpStatus = found == pages_.end() ? 0 : found->second.status;
  return found == pages_.end() ? ByteBuffer() : found->second.body;
}

void FakeRuntimeServices::OpenUrl(const Text& address) {
  std::lock_guard lock(mutex_);
  Record(OpenUrlCall{address});
}
