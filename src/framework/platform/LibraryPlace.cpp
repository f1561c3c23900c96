#include "framework/platform/LibraryPlace.h"

#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

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
  auto* hex = static_cast<std::string*>(data);
  // The first object reported is the executable itself.
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_NOTE) continue;
    const auto* cursor = reinterpret_cast<const unsigned char*>(info->dlpi_addr + header.p_vaddr);
    const unsigned char* end = cursor + header.p_memsz;
    while (cursor + sizeof(ElfW(Nhdr)) <= end) {
      const auto* note = reinterpret_cast<const ElfW(Nhdr)*>(cursor);
      const unsigned char* name = cursor + sizeof(ElfW(Nhdr));
      const unsigned char* desc = name + ((note->n_namesz + 3) & ~3u);
      if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4 &&
          std::string(reinterpret_cast<const char*>(name), 3) == "GNU") {
        static constexpr char kHex[] = "0123456789abcdef";
        for (unsigned j = 0; j < note->n_descsz; ++j) {
          *hex += kHex[desc[j] >> 4];
          *hex += kHex[desc[j] & 15];
        }
        return 1;
      }
      cursor = desc + ((note->n_descsz + 3) & ~3u);
    }
  }
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
