#include "framework/platform/LibraryBinding.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "framework/TextCodec.h"
#include "framework/platform/FatalError.h"
#include "framework/platform/LibraryPlace.h"
#include "framework/platform/LoadableLibrary.h"
#include "framework/platform/TrustedPaths.h"
#include "framework/platform/WholeFiles.h"

namespace {

std::mutex bindingMutex;
std::map<std::string, void*> openLibraries;
std::string directoryOverride;

LibraryPlace PlaceOfLibraries() {
  if (directoryOverride.empty()) return CurrentLibraryPlace();
  return {directoryOverride, true, {}};
}

// How to get the built library back where this one cannot be used.
Text ReplacementAdvice(const LibraryPlace& place, const std::string& path) {
  const Text shown = TextFromUtf8(path);
  return place.writeThere ? "删除“" + shown + "”并重新启动程序，即可换回程序自带的库文件。"
                          : "库文件“" + shown + "”无法使用，请重新安装程序。";
}

// Opens the library by its absolute path in this run's library folder, never by a
// bare name (the system's search could find it anywhere, even in the current
// folder). Only a trusted file that can be a library for this machine is opened.
// On failure, says in a line of the error box what to do about it.
void* OpenLibrary(const std::string& name, Text& advice) {
  auto found = openLibraries.find(name);
  if (found != openLibraries.end()) return found->second;
  const LibraryPlace place = PlaceOfLibraries();
  if (place.folder.empty()) {
    advice = place.refused.empty()
                 ? Text("没有可用的库文件夹：找不到用户的主文件夹。")
                 : "没有可用的库文件夹：“" + TextFromUtf8(place.refused) + "”可被其他用户改写。";
    return nullptr;
  }
  const std::string path = place.folder + "/" + name;
  const Text shown = TextFromUtf8(path);
  if (!PathExists(path)) {
    advice = "找不到库文件“" + shown + "”。";
    return nullptr;
  }
  if (const std::string part = UntrustedPartOfFile(path); !part.empty()) {
    advice = "未载入“" + shown + "”：“" + TextFromUtf8(part) + "”可被其他用户改写。";
    return nullptr;
  }
  void* handle = nullptr;
  if (LibraryFileProblem(path).empty()) handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle) {
    openLibraries.emplace(name, handle);
  } else {
    advice = ReplacementAdvice(place, path);
  }
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
  Text advice;
  {
    std::lock_guard lock(bindingMutex);
    if (void* handle = OpenLibrary(library, advice)) {
      address = dlsym(handle, function);
      if (!address) {
        const LibraryPlace place = PlaceOfLibraries();
        advice = ReplacementAdvice(place, place.folder + "/" + library);
      }
    }
  }
  if (!address) RaiseFatalError(MissingFunctionMessage(library, function) + "\n" + advice);
  return address;
}

void SetLibraryDirectoryForTesting(const std::string& directory) {
  std::lock_guard lock(bindingMutex);
  directoryOverride = directory;
}
