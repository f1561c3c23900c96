#include "framework/platform/WholeFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>

namespace {

bool WriteAll(int fd, const std::vector<ByteBuffer>& buffers) {
  for (const ByteBuffer& buffer : buffers) {
    size_t done = 0;
    while (done < buffer.size()) {
      ssize_t n = ::write(fd, buffer.data() + done, buffer.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TemporaryPrefix(const std::string& path) { return "." + NameOf(path) + ".tmp-"; }

// Opens a fresh, uniquely named file beside the target with the given permission
// bits, before anything is written to it. It is locked while it is written, so that
// another save of the same file can tell it from a killed save's leftover.
int CreateTemporaryBeside(const std::string& path, mode_t mode, std::string& temporaryPath) {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporaryPath = FolderOf(path) + "/" + TemporaryPrefix(path) + std::to_string(random());
    // Created private; the umask cannot widen what fchmod then sets.
    int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return fd;
    if (::fchmod(fd, mode) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      ::unlink(temporaryPath.c_str());
      return -1;
    }
    return fd;
  }
  return -1;
}

// The umask, read without changing it (umask() would, for every thread at once).
mode_t ProcessUmask() {
  FILE* status = std::fopen("/proc/self/status", "re");
  unsigned mask = 022;
  if (!status) return mask;
  char line[256];
  while (std::fgets(line, sizeof line, status)) {
    if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
  }
  std::fclose(status);
  return static_cast<mode_t>(mask);
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// Removes the temporary files that killed saves of this file left behind: those no
// living save holds locked.
void RemoveLeftoverTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string prefix = TemporaryPrefix(path);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> leftovers;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        AllDigits(name.substr(prefix.size())))
      leftovers.push_back(folder + "/" + name);
  }
  ::closedir(dir);
  for (const std::string& leftover : leftovers) {
    const int fd = ::open(leftover.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened {};
    struct stat named {};
    // Unlocked and still under that name: no save is writing it.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
        S_ISREG(opened.st_mode) && ::lstat(leftover.c_str(), &named) == 0 &&
        named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
      ::unlink(leftover.c_str());
    ::close(fd);
  }
}

void SyncFolder(const std::string& path) {
  int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::optional<ByteBuffer> ReadRegularFile(const std::string& path, std::uint64_t maximumSize) {
  if (path.empty()) return std::nullopt;
  // Non-blocking, so that a FIFO without a writer cannot hold the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uint64_t>(info.st_size) > maximumSize) {
    ::close(fd);
    return std::nullopt;
  }
  ByteBuffer bytes;
  bytes.reserve(static_cast<size_t>(info.st_size));
  std::uint8_t chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    // A file that grows past the limit while it is read fails as well.
    if (n < 0 || bytes.size() + static_cast<std::uint64_t>(n) > maximumSize) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  ::close(fd);
  return bytes;
}

ByteBuffer ReadWholeFile(const std::string& path) {
  return ReadRegularFile(path, std::numeric_limits<std::uint64_t>::max()).value_or(ByteBuffer());
}

bool WriteWholeFile(const std::string& path, const std::vector<ByteBuffer>& buffers) {
  if (path.empty()) return false;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  // Exclusive use: Linux has no mandatory sharing, so this holds among our own opens.
  bool ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ftruncate(fd, 0) == 0 && WriteAll(fd, buffers);
  ok = (::close(fd) == 0) && ok;
  return ok;
}

bool WriteFileAtomically(const std::string& givenPath, const std::vector<ByteBuffer>& buffers,
                         bool replaceExisting) {
  if (givenPath.empty()) return false;
  // Through a symbolic link the file it points to is replaced, not the link.
  std::string path = givenPath;
  if (char* resolved = ::realpath(givenPath.c_str(), nullptr)) {
    path = resolved;
    std::free(resolved);
  }
  struct stat existing {};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && (!replaceExisting || !S_ISREG(existing.st_mode))) return false;

  // A new file gets 0666 less the umask, as open() would give it.
  mode_t mode = 0666;
  if (exists) {
    mode = existing.st_mode & 07777;
  } else {
    mode &= ~ProcessUmask();
  }
  std::string temporaryPath;
  const int fd = CreateTemporaryBeside(path, mode, temporaryPath);
  if (fd < 0) return false;
  // The file's group too, where the owner may give it (best effort): readers of the
  // old file are the readers of the new one.
  if (exists) (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
  bool ok = WriteAll(fd, buffers) && ::fsync(fd) == 0;
  if (ok) {
    // link() refuses to replace a file that appeared meanwhile; rename() replaces.
    if (replaceExisting) {
      ok = ::rename(temporaryPath.c_str(), path.c_str()) == 0;
    } else {
      ok = ::link(temporaryPath.c_str(), path.c_str()) == 0;
      // Some file systems have no hard links: fall back to a rename.
      if (!ok && (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS))
        ok = !PathExists(path) && ::rename(temporaryPath.c_str(), path.c_str()) == 0;
    }
  }
  if (!ok || !replaceExisting) ::unlink(temporaryPath.c_str());
  // Closed (and unlocked) only once it has its final name or is gone.
  ::close(fd);
  if (ok) {
    SyncFolder(path);
    RemoveLeftoverTemporaries(path);
  }
  return ok;
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}
