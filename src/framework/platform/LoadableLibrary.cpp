#include "framework/platform/LoadableLibrary.h"

#include <elf.h>
#include <link.h>

#include <cstring>
#include <fstream>

#include "framework/platform/WholeFiles.h"

namespace {

// The machine of the running program, from its own ELF header.
ElfW(Half) OwnMachine() {
  static const ElfW(Half) machine = [] {
    ElfW(Ehdr) header{};
    std::ifstream self("/proc/self/exe", std::ios::binary);
    if (!self.read(reinterpret_cast<char*>(&header), sizeof header)) return ElfW(Half){EM_NONE};
    return header.e_machine;
  }();
  return machine;
}

bool Within(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

}  // namespace

std::string LibraryImageProblem(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return "empty";
  if (size < EI_NIDENT || std::memcmp(bytes, ELFMAG, SELFMAG) != 0) return "not an ELF file";
  // ElfW is this program's own class (32 or 64 bits) and byte order.
  const unsigned char ownClass = sizeof(ElfW(Addr)) == 8 ? ELFCLASS64 : ELFCLASS32;
  const unsigned char ownOrder =
      __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
  if (bytes[EI_CLASS] != ownClass || bytes[EI_DATA] != ownOrder) return "built for another machine";
  if (size < sizeof(ElfW(Ehdr))) return "truncated";
  ElfW(Ehdr) header{};
  std::memcpy(&header, bytes, sizeof header);
  if (header.e_machine != OwnMachine()) return "built for another machine";
  if (header.e_type != ET_DYN || header.e_version != EV_CURRENT) return "not a shared library";
  if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0) return "no program headers";
  if (!Within(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr)), size))
    return "truncated";
  bool loads = false;
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    ElfW(Phdr) segment{};
    std::memcpy(&segment, bytes + header.e_phoff + i * sizeof segment, sizeof segment);
    // Every part the loader maps or reads from the file must lie inside it.
    if (segment.p_type != PT_LOAD && segment.p_type != PT_DYNAMIC) continue;
    if (!Within(segment.p_offset, segment.p_filesz, size)) return "truncated";
    loads = loads || segment.p_type == PT_LOAD;
  }
  return loads ? std::string() : "nothing to load";
}

std::string LibraryFileProblem(const std::string& path) {
  const std::optional<ByteBuffer> bytes = ReadRegularFile(path, 256u << 20);
  if (!bytes) return "cannot be read";
  return LibraryImageProblem(bytes->data(), bytes->size());
}
