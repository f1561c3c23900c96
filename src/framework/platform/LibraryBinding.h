#pragma once

#include <atomic>
#include <string>

// Binding of a bundled library's functions by name on their first call. The
// library is looked for in the program's folder first, then through the system's
// search. A library or function that cannot be found is a fatal run-time error.
void* BindLibraryFunction(const char* library, const char* function);

// The run-time error text naming the library and the function.
std::string MissingFunctionMessage(const char* library, const char* function);

// Overrides the folder searched first (tests); empty restores the program's folder.
void SetLibraryDirectoryForTesting(const std::string& directory);

// One function of a library, bound on first use and reused afterwards.
template <typename Signature>
class LibraryFunction {
 public:
  constexpr LibraryFunction(const char* library, const char* function)
      : library_(library), function_(function) {}

  Signature* Get() {
    Signature* bound = cached_.load(std::memory_order_acquire);
    if (!bound) {
      bound = reinterpret_cast<Signature*>(BindLibraryFunction(library_, function_));
      cached_.store(bound, std::memory_order_release);
    }
    return bound;
  }

  template <typename... Args>
  auto operator()(Args&&... args) {
    return Get()(std::forward<Args>(args)...);
  }

 private:
  const char* library_;
  const char* function_;
  std::atomic<Signature*> cached_{nullptr};
};
