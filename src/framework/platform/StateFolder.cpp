#include "framework/platform/StateFolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace {

// mkdir -p; every folder it makes is private to the user.
bool MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string StateFolder() {
  std::string base;
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return {};
    base = std::string(home) + "/.local/state";
  }
  const std::string folder = base + "/orvane-notepad";
  return MakeFolders(folder) ? folder : std::string();
}
