#include "framework/platform/LibraryPlace.h"

#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "framework/platform/ElfBuildId.h"
#include "framework/platform/TrustedPaths.h"

namespace {

namespace fs = std::filesystem;

bool HoldsAllLibraries(const std::string& folder) {
  for (const char* name : kBundledLibraryNames) {
    struct stat info {};
    if (::stat((folder + "/" + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  }
  return true;
}

std::string RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string real = resolved;
  std::free(resolved);
  return real;
}

// mkdir -p; every folder it makes is private to the user.
void MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0700);
    if (slash == std::string::npos) break;
  }
}

int FindBuildIdNote(struct dl_phdr_info* info, size_t, void* data) {
  // The first object reported is the executable itself.
  *static_cast<std::string*>(data) = ElfBuildId(info);
  return 1;
}

}  // namespace

LibraryPlace DecideLibraryPlace(const std::string& programFolder, const std::string& cacheFolder) {
  if (!programFolder.empty()) {
    // Installed only where nobody else could have made or filled the folder.
    const std::string installed = RealPath(programFolder + "/../lib/orvane-notepad");
    if (!installed.empty() && HoldsAllLibraries(installed) &&
        UntrustedPartOfFolder(installed).empty())
      return {installed, false, {}};
    if (UntrustedPartOfFolder(programFolder).empty()) {
      if (::access(programFolder.c_str(), W_OK) == 0) return {programFolder, true, {}};
      if (HoldsAllLibraries(programFolder)) return {programFolder, false, {}};
    }
  }
  if (cacheFolder.empty()) return {};
  return {cacheFolder, true, {}};
}

std::string LibraryCacheFolder(const std::string& buildId) {
  std::string cache;
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  // XDG folders must be absolute; a relative value is ignored, as freedesktop programs do.
  if (xdg && xdg[0] == '/') {
    cache = xdg;
  } else if (const std::string home = HomeFolder(); !home.empty()) {
    cache = home + "/.cache";
  } else {
    return {};
  }
  return cache + "/orvane-notepad/" + buildId;
}

const LibraryPlace& CurrentLibraryPlace() {
  static const LibraryPlace place = [] {
    const std::string program = RealPath("/proc/self/exe");
    const std::string programFolder =
        program.empty() ? program : fs::path(program).parent_path().string();
    LibraryPlace decided = DecideLibraryPlace(programFolder, LibraryCacheFolder(ProgramBuildId()));
    if (decided.writeThere) {
      MakeFolders(decided.folder);
      // A folder another user made before us (or can change) is never used.
      if (std::string part = UntrustedPartOfFolder(decided.folder); !part.empty())
        decided = {{}, false, std::move(part)};
    }
    return decided;
  }();
  return place;
}

std::string ProgramBuildId() {
  std::string hex;
  dl_iterate_phdr(FindBuildIdNote, &hex);
  if (!hex.empty()) return hex;
  struct stat info {};
  ::stat("/proc/self/exe", &info);
  return std::string(ORVANE_VERSION) + "-" + std::to_string(info.st_size) + "-" +
         std::to_string(info.st_mtime);
}
