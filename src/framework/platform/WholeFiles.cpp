#include "framework/platform/WholeFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

// Opens a fresh, uniquely named file beside the target; mode 0666 less the umask.
int CreateTemporaryBeside(const std::string& path, std::string& temporaryPath) {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporaryPath = FolderOf(path) + "/." + NameOf(path) + ".tmp-" + std::to_string(random());
    int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void SyncFolder(const std::string& path) {
  int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

ByteBuffer ReadWholeFile(const std::string& path) {
  ByteBuffer bytes;
  if (path.empty()) return bytes;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return bytes;
  }
  if (info.st_size > 0) bytes.reserve(static_cast<size_t>(info.st_size));
  std::uint8_t chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      bytes.clear();
      break;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  ::close(fd);
  return bytes;
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

  std::string temporaryPath;
  int fd = CreateTemporaryBeside(path, temporaryPath);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, buffers);
  if (ok && exists) ok = ::fchmod(fd, existing.st_mode & 07777) == 0;
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
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
  if (ok) SyncFolder(path);
  return ok;
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}
