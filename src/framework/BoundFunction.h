#pragma once

#include <atomic>

#include "framework/Libraries.h"

// One function of a bundled library, bound by name on its first call through
// the services and reused afterwards.
template <typename Signature>
class BoundFunction {
 public:
  BoundFunction(Libraries& libraries, const char* library, const char* function)
      : libraries_(libraries), library_(library), function_(function) {}

  Signature* Get() {
    Signature* bound = cached_.load(std::memory_order_acquire);
    if (!bound) {
      bound = reinterpret_cast<Signature*>(libraries_.LibraryFunctionAddress(library_, function_));
      cached_.store(bound, std::memory_order_release);
    }
    return bound;
  }

  template <typename... Args>
  auto operator()(Args&&... args) {
    return Get()(std::forward<Args>(args)...);
  }

 private:
  Libraries& libraries_;
  const char* library_;
  const char* function_;
  std::atomic<Signature*> cached_{nullptr};
};
