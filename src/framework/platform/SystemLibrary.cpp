#include "framework/platform/SystemLibrary.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

void* SystemLibraryFunction(const char* soname, const char* function) {
  static std::mutex mutex;
  static std::map<std::string, void*> libraries;  // null: tried and failed
  void* library = nullptr;
  {
    const std::lock_guard lock(mutex);
    auto [entry, added] = libraries.try_emplace(soname, nullptr);
    // A name with a slash would be a path of the caller's choosing: sonames only.
    if (added && std::string(soname).find('/') == std::string::npos)
      entry->second = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    library = entry->second;
  }
  return library ? ::dlsym(library, function) : nullptr;
}
