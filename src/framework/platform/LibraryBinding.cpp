#include "framework/platform/LibraryBinding.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "framework/platform/FatalError.h"
#include "framework/platform/LibraryPlace.h"

namespace {

std::mutex bindingMutex;
std::map<std::string, void*> openLibraries;
std::string directoryOverride;

void* OpenLibrary(const std::string& name) {
  auto found = openLibraries.find(name);
  if (found != openLibraries.end()) return found->second;
  const std::string folder =
      directoryOverride.empty() ? CurrentLibraryPlace().searchFirst : directoryOverride;
  void* handle = dlopen((folder + "/" + name).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle) openLibraries.emplace(name, handle);
  return handle;
}

}  // namespace

// Compiled with GB18030 literals: the message is program text.
std::string MissingFunctionMessage(const char* library, const char* function) {
  return std::string("运行时出错!\n\n错误信息：无法找到指定DLL库文件“") + library +
         "”中的输出命令“" + function + "”";
}

void* BindLibraryFunction(const char* library, const char* function) {
  void* address = nullptr;
  {
    std::lock_guard lock(bindingMutex);
    if (void* handle = OpenLibrary(library)) address = dlsym(handle, function);
  }
  if (!address) RaiseFatalError(MissingFunctionMessage(library, function));
  return address;
}

void SetLibraryDirectoryForTesting(const std::string& directory) {
  std::lock_guard lock(bindingMutex);
  directoryOverride = directory;
}
