#include "framework/platform/BundledLibraries.h"

#include <elf.h>
#include <fcntl.h>
#include <glib.h>
#include <link.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "framework/platform/ElfBuildId.h"
#include "framework/platform/LoadableLibrary.h"
#include "framework/platform/WholeFiles.h"

namespace {

using Stamp = std::map<std::string, std::set<std::string>>;  // file name -> SHA-256 hexes

Stamp ParseStamp(const ByteBuffer& bytes) {
  Stamp stamp;
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  std::string hash, name;
  // "<hash>  <name>"; the name has no blanks (our own library names).
  while (lines >> hash >> name) stamp[name].insert(hash);
  return stamp;
}

ByteBuffer StampBytes(const Stamp& stamp) {
  std::string text;
  for (const auto& [name, hashes] : stamp)
    for (const std::string& hash : hashes) text += hash + "  " + name + "\n";
  return ByteBuffer(text.begin(), text.end());
}

std::string TemporaryName(const std::string& name) { return "." + name + ".new"; }

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Writes the bytes under a temporary name in the folder, flushed, then gives them the
// name: replacing what is there, or only if nothing is. The caller holds the
// folder's lock, so the temporary name is ours alone.
bool WriteInto(int folder, const std::string& name, const std::uint8_t* data, std::size_t size,
               mode_t mode, bool replace) {
  const std::string temporary = TemporaryName(name);
  ::unlinkat(folder, temporary.c_str(), 0);
  const int fd = ::openat(folder, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  // Set explicitly: a umask of 002 must not make a library others may change.
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, data, size) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok && replace) {
    ok = ::renameat(folder, temporary.c_str(), folder, name.c_str()) == 0;
  } else if (ok) {
    ok = ::linkat(folder, temporary.c_str(), folder, name.c_str(), 0) == 0;
  }
  if (!ok || !replace) ::unlinkat(folder, temporary.c_str(), 0);
  if (ok) ::fsync(folder);
  return ok;
}

bool WriteStamp(int folder, const Stamp& stamp) {
  const ByteBuffer bytes = StampBytes(stamp);
  return WriteInto(folder, kLibraryStampName, bytes.data(), bytes.size(), 0644, true);
}

bool Exists(int folder, const std::string& name) {
  struct stat info {};
  return ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// --- The record of the last full comparison ----------------------------------------
// Comparing a library with the built bytes reads both in full (megabytes, most of the
// memory and time this takes) at every start. Once the file is known to hold the built
// bytes, its identity is recorded beside the bytes' identity: while the file keeps its
// device, inode, size and change time (which every write, rename and time change moves
// on), it still holds those bytes and is not read again. The bytes' identity is the
// GNU build id of the object that holds them and their place in it; bytes without one
// (read from a file, a build without build id) are always compared.

struct ImageSearch {
  std::uintptr_t address = 0;
  std::string key;
};

int FindImage(struct dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<ImageSearch*>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    const std::uintptr_t start = info->dlpi_addr + header.p_vaddr;
    if (header.p_type != PT_LOAD || search->address < start ||
        search->address >= start + header.p_memsz)
      continue;
    const std::string id = ElfBuildId(info);
    if (!id.empty()) search->key = id + "+" + std::to_string(search->address - info->dlpi_addr);
    return 1;
  }
  return 0;
}

std::string ImageKey(const std::uint8_t* bytes, std::size_t size) {
  ImageSearch search;
  search.address = reinterpret_cast<std::uintptr_t>(bytes);
  dl_iterate_phdr(FindImage, &search);
  return search.key.empty() ? search.key : search.key + "+" + std::to_string(size);
}

std::string FileIdentity(int folder, const std::string& name) {
  struct stat info {};
  if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
    return std::string();
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
         std::to_string(info.st_size) + ":" + std::to_string(info.st_ctim.tv_sec) + "." +
         std::to_string(info.st_ctim.tv_nsec);
}

using Checked = std::map<std::string, std::pair<std::string, std::string>>;  // name -> key, file

Checked ReadChecked(const std::string& folderPath) {
  Checked checked;
  const ByteBuffer bytes = ReadWholeFile(folderPath + "/" + kLibraryCheckName);
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  std::string name, key, file;
  while (lines >> name >> key >> file) checked[name] = {key, file};
  return checked;
}

bool StillAsChecked(int folder, const std::string& folderPath, const std::string& name,
                    const std::string& key) {
  if (key.empty()) return false;
  const Checked checked = ReadChecked(folderPath);
  const auto found = checked.find(name);
  const std::string file = FileIdentity(folder, name);
  return found != checked.end() && !file.empty() && found->second == std::make_pair(key, file);
}

// Notes that the library holds the bytes of that key now; best effort, and a record
// that is lost or stale only costs the next start a full comparison.
void RecordChecked(int folder, const std::string& folderPath, const std::string& name,
                   const std::string& key) {
  const std::string file = FileIdentity(folder, name);
  if (key.empty() || file.empty()) return;
  Checked checked = ReadChecked(folderPath);
  checked[name] = {key, file};
  std::string text;
  for (const auto& [library, identity] : checked)
    text += library + " " + identity.first + " " + identity.second + "\n";
  WriteInto(folder, kLibraryCheckName, reinterpret_cast<const std::uint8_t*>(text.data()),
            text.size(), 0644, true);
}

void Update(int folder, const std::string& folderPath, const std::string& name,
            const std::uint8_t* bytes, std::size_t size) {
  const bool hadStamp = Exists(folder, kLibraryStampName);
  const Stamp before = ParseStamp(ReadWholeFile(folderPath + "/" + kLibraryStampName));
  Stamp stamp = before;
  std::set<std::string>& recorded = stamp[name];
  const std::string key = ImageKey(bytes, size);
  if (!recorded.empty() && StillAsChecked(folder, folderPath, name, key)) return;
  if (Exists(folder, name)) {
    const ByteBuffer present = ReadWholeFile(folderPath + "/" + name);
    if (present.size() == size && std::memcmp(present.data(), bytes, size) == 0) {
      // Already ours. Hashing is left out here, where every start comes (it is most of
      // the time this takes); only a stamp without a line for it learns it.
      if (recorded.empty()) {
        recorded = {Sha256Hex(bytes, bytes + size)};
        WriteStamp(folder, stamp);
      }
      RecordChecked(folder, folderPath, name, key);
      return;
    }
    if (!recorded.count(Sha256Hex(present.data(), present.data() + present.size()))) {
      // Not written by us: the user's own copy is kept, but bytes that cannot be a
      // library for this machine are nobody's work and are put aside.
      if (LibraryImageProblem(present.data(), present.size()).empty()) return;
      const std::string damaged = name + ".damaged";
      if (::renameat(folder, name.c_str(), folder, damaged.c_str()) != 0) return;
    }
  }
  const std::string ours = Sha256Hex(bytes, bytes + size);
  // Missing, or an earlier build's. The stamp names the new bytes before they take
  // the name, and the old ones until then: whatever a kill leaves is recorded as ours.
  const bool replace = Exists(folder, name);
  recorded.insert(ours);
  if (!WriteStamp(folder, stamp)) return;
  if (!WriteInto(folder, name, bytes, size, 0755, replace)) {
    // Nothing changed after all: the stamp goes back to what it was.
    if (hadStamp) {
      WriteStamp(folder, before);
    } else {
      ::unlinkat(folder, kLibraryStampName, 0);
    }
    return;
  }
  if (recorded.size() > 1) {
    recorded = {ours};
    WriteStamp(folder, stamp);
  }
  RecordChecked(folder, folderPath, name, key);
}

}  // namespace

std::string Sha256Hex(const std::uint8_t* begin, const std::uint8_t* end) {
  gchar* hex =
      g_compute_checksum_for_data(G_CHECKSUM_SHA256, begin, static_cast<gsize>(end - begin));
  if (!hex) return std::string();
  std::string result(hex);
  g_free(hex);
  return result;
}

void InstallBundledLibrary(const std::string& folderPath, const std::string& name,
                           const std::uint8_t* begin, const std::uint8_t* end) {
  const int folder = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return;
  while (::flock(folder, LOCK_EX) != 0 && errno == EINTR) {
  }
  // What a killed write of an earlier start left behind.
  ::unlinkat(folder, TemporaryName(name).c_str(), 0);
  ::unlinkat(folder, TemporaryName(kLibraryStampName).c_str(), 0);
  ::unlinkat(folder, TemporaryName(kLibraryCheckName).c_str(), 0);
  Update(folder, folderPath, name, begin, static_cast<std::size_t>(end - begin));
  ::close(folder);  // and with it the lock
}
