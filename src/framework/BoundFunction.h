#pragma once

#include <atomic>

#include "framework/RuntimeServices.h"

// One function of a bundled library, bound by name on its first call through
// RuntimeServices and reused afterwards.
template <typename Signature>
class BoundFunction {
 public:
  BoundFunction(RuntimeServices& services, const char* library, const char* function)
      : services_(services), library_(library), function_(function) {}

  Signature* Get() {
    Signature* bound = cached_.load(std::memory_order_acquire);
    if (!bound) {
      bound = reinterpret_cast<Signature*>(services_.LibraryFunctionAddress(library_, function_));
      cached_.store(bound, std::memory_order_release);
    }
    return bound;
  }

  template <typename... Args>
  auto operator()(Args&&... args) {
    return Get()(std::forward<Args>(args)...);
  }

 private:
  RuntimeServices& services_;
  const char* library_;
  const char* function_;
  std::atomic<Signature*> cached_{nullptr};
};
