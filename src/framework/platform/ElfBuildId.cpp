#include "framework/platform/ElfBuildId.h"

#include <elf.h>

#include <cstring>

std::string ElfBuildId(const struct dl_phdr_info* info) {
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
          std::memcmp(name, "GNU", 4) == 0) {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string hex;
        for (unsigned j = 0; j < note->n_descsz; ++j) {
          hex += kHex[desc[j] >> 4];
          hex += kHex[desc[j] & 15];
        }
        return hex;
      }
      cursor = desc + ((note->n_descsz + 3) & ~3u);
    }
  }
  return std::string();
}
