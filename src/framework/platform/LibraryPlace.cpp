#include "framework/platform/LibraryPlace.h"

#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "framework/platform/ProgramLocation.h"

namespace {

namespace fs = std::filesystem;

bool HoldsAllLibraries(const std::string& folder) {
  for (const char* name : kBundledLibraryNames) {
    struct stat info {};
    if (::stat((folder + "/" + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  }
  return true;
}

std::string CacheHome() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  // XDG folders must be absolute; a relative value is ignored, as freedesktop programs do.
  if (cache && cache[0] == '/') return cache;
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : "/tmp") + "/.cache";
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

LibraryPlace DecideLibraryPlace(const std::string& programFolder, const std::string& buildId) {
  if (HoldsAllLibraries(programFolder + "/../lib/orvane-notepad")) return {programFolder, false};
  if (::access(programFolder.c_str(), W_OK) == 0) return {programFolder, true};
  if (HoldsAllLibraries(programFolder)) return {programFolder, false};
  return {CacheHome() + "/orvane-notepad/" + buildId, true};
}

const LibraryPlace& CurrentLibraryPlace() {
  static const LibraryPlace place = [] {
    LibraryPlace decided = DecideLibraryPlace(ExecutableDirectory(), ProgramBuildId());
    if (decided.writeThere && !fs::exists(decided.searchFirst)) {
      std::error_code ignored;  // a folder that cannot be made shows at the first binding
      fs::create_directories(decided.searchFirst, ignored);
      fs::permissions(decided.searchFirst, fs::perms::owner_all, ignored);
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
