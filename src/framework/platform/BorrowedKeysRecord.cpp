#include "framework/platform/BorrowedKeysRecord.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "framework/platform/StateFolder.h"
#include "framework/platform/WholeFiles.h"

namespace {

constexpr const char* kPrefix = "borrowed-keys-";

std::string Display() {
  const char* display = std::getenv("DISPLAY");
  return display ? display : "";
}

std::string CommandOf(const std::string& pid) {
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// A process of that number runs and is a copy of this program.
bool CopyRuns(const std::string& pid) {
  const long number = std::strtol(pid.c_str(), nullptr, 10);
  if (number <= 0) return false;
  if (::kill(static_cast<pid_t>(number), 0) != 0 && errno == ESRCH) return false;
  return CommandOf(pid) == CommandOf("self");
}

}  // namespace

bool BorrowedKeysRecord::Write(const std::vector<uint8_t>& keycodes) {
  if (keycodes == written_ && !path_.empty()) return true;
  if (path_.empty()) {
    const std::string folder = StateFolder();
    if (folder.empty()) return false;
    path_ = folder + "/" + kPrefix + std::to_string(::getpid());
  }
  std::string text = "display " + Display() + "\nkeycodes";
  for (uint8_t code : keycodes) text += " " + std::to_string(code);
  text += "\n";
  if (!WriteFileAtomically(path_, {ByteBuffer(text.begin(), text.end())}, true)) return false;
  written_ = keycodes;
  return true;
}

void BorrowedKeysRecord::Remove() {
  if (!path_.empty()) ::unlink(path_.c_str());
  written_.clear();
}

std::vector<BorrowedKeysRecord::Leftover> BorrowedKeysRecord::LeftOnThisDisplay() {
  std::vector<Leftover> found;
  const std::string folder = StateFolder();
  DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
  if (!dir) return found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind(kPrefix, 0) != 0) continue;
    const std::string pid = name.substr(std::string(kPrefix).size());
    if (pid.find_first_not_of("0123456789") != std::string::npos || CopyRuns(pid)) continue;
    std::ifstream file(folder + "/" + name);
    std::string line, word, display;
    Leftover leftover{folder + "/" + name, {}};
    while (std::getline(file, line)) {
      std::istringstream fields(line);
      fields >> word;
      if (word == "display") {
        std::getline(fields >> std::ws, display);
      } else if (word == "keycodes") {
        for (int code = 0; fields >> code;)
          if (code >= 8 && code <= 255) leftover.keycodes.push_back(static_cast<uint8_t>(code));
      }
    }
    if (display == Display()) found.push_back(leftover);
  }
  ::closedir(dir);
  return found;
}
