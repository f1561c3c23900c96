#include "framework/platform/StateFolder.h"

#include <cstdlib>

#include "framework/platform/PrivateFiles.h"

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
  return MakePrivateFolder(folder) ? folder : std::string();
}
