#include "framework/platform/WholeFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>

#include "framework/platform/FileProblems.h"

namespace {

// Writes in pieces of a few megabytes, asking keepGoing between them.
bool WriteAll(int fd, const std::vector<ByteBuffer>& buffers,
              const std::function<bool()>& keepGoing = {}) {
  constexpr size_t kPiece = 4u << 20;
  for (const ByteBuffer& buffer : buffers) {
    size_t done = 0;
    while (done < buffer.size()) {
      if (keepGoing && !keepGoing()) {
        NoteFileProblem(FileProblem::None);
        return false;
      }
      ssize_t n = ::write(fd, buffer.data() + done, std::min(kPiece, buffer.size() - done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return NoteErrno();
      if (n == 0) {
        NoteFileProblem(FileProblem::DiskFull);
        return false;
      }
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
    if (fd < 0) {
      NoteErrno();
      return fd;
    }
    if (::fchmod(fd, mode) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      NoteErrno();
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

// The path with its links followed as the kernel follows them where links are
// protected (fs.protected_symlinks): a link in a sticky, world-writable folder (such as
// /tmp) is followed only when it belongs to the user or to the folder's owner, so that
// nobody can steer a save into another user's file by planting a link. Done for every
// save whatever the system's setting: realpath() would follow any link. The folders on
// the way are resolved by the kernel. Nothing, with the reason noted, when refused.
std::optional<std::string> FollowLinksSafely(const std::string& givenPath) {
  std::string path = givenPath;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) break;
    struct stat folder {};
    if (::stat(FolderOf(path).c_str(), &folder) != 0) {
      NoteErrno();
      return std::nullopt;
    }
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    if (shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid) {
      NoteFileProblem(FileProblem::LinkRefused);
      return std::nullopt;
    }
    std::string target(static_cast<size_t>(link.st_size) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) {
      NoteErrno();
      return std::nullopt;
    }
    target.resize(static_cast<size_t>(length));
    path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
    if (hops == 39) {
      NoteFileProblem(FileProblem::Other);
      return std::nullopt;
    }
  }
  return path;
}

// Whether a new file in the folder gets the existing file's owner and group.
bool KeepsOwner(int fd, const struct stat& existing) {
  // Only root may give a file away; the group only where the owner belongs to it.
  (void)::fchown(fd, existing.st_uid, existing.st_gid);
  (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
  struct stat made {};
  return ::fstat(fd, &made) == 0 && made.st_uid == existing.st_uid &&
         made.st_gid == existing.st_gid;
}

bool ReadAllFrom(int fd, ByteBuffer& bytes, std::uint64_t maximumSize) {
  std::uint8_t chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return NoteErrno();
    // A file that grows past the limit while it is read fails as well.
    if (bytes.size() + static_cast<std::uint64_t>(n) > maximumSize) {
      NoteFileProblem(FileProblem::TooLarge);
      return false;
    }
    if (n == 0) return true;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
}

// A copy of the old bytes beside the file (NAME~, or NAME~2 ... when that name is
// taken), readable by the file's readers only, flushed. Its path, or nothing.
std::optional<std::string> CopyBeside(const std::string& path, int source, mode_t mode) {
  std::vector<ByteBuffer> old(1);
  if (::lseek(source, 0, SEEK_SET) != 0 ||
      !ReadAllFrom(source, old[0], std::numeric_limits<std::uint64_t>::max()))
    return std::nullopt;
  for (int attempt = 1; attempt < 100; ++attempt) {
    const std::string copy = path + "~" + (attempt > 1 ? std::to_string(attempt) : "");
    const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      NoteErrno();
      return std::nullopt;
    }
    const bool ok = ::fchmod(fd, mode & 0666) == 0 && WriteAll(fd, old) && ::fsync(fd) == 0;
    if (!ok) NoteErrno();
    ::close(fd);
    if (ok) return copy;
    ::unlink(copy.c_str());
    return std::nullopt;
  }
  NoteFileProblem(FileProblem::Other);
  return std::nullopt;
}

// Writes the file's own inode: owner, group, permissions and hard links stay. The old
// bytes are first copied beside it, and the copy goes once the new bytes are on disk, so
// that a failure midway leaves the old text at hand.
bool WriteInPlace(const std::string& path, const struct stat& existing,
                  const std::vector<ByteBuffer>& buffers) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return NoteErrno();
  struct stat opened {};
  if (::fstat(fd, &opened) != 0 || opened.st_ino != existing.st_ino ||
      opened.st_dev != existing.st_dev || !S_ISREG(opened.st_mode)) {
    NoteFileProblem(FileProblem::NotRegularFile);
    ::close(fd);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    NoteFileProblem(FileProblem::InUse);
    ::close(fd);
    return false;
  }
  const std::optional<std::string> copy = CopyBeside(path, fd, opened.st_mode);
  if (!copy) {
    ::close(fd);
    return false;
  }
  off_t size = 0;
  for (const ByteBuffer& buffer : buffers) size += static_cast<off_t>(buffer.size());
  bool ok = ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, buffers);
  ok = ok && (::ftruncate(fd, size) == 0 && ::fsync(fd) == 0 ? true : NoteErrno());
  ok = (::close(fd) == 0 ? true : NoteErrno()) && ok;
  if (ok) ::unlink(copy->c_str());
  return ok;
}

// Writes the bytes to a new temporary file beside the path and renames it over the
// path, keeping the old file's permission bits, and its owner and group where allowed.
// NeedsInPlace: the folder refused the temporary file or the rename, or the owner could
// not be kept while mustKeepOwner; the old file is untouched for the caller to write.
enum class Replacement { Done, Failed, NeedsInPlace };
Replacement ReplaceThroughTemporary(const std::string& path, const struct stat* existing,
                                    const std::vector<ByteBuffer>& buffers, bool mustKeepOwner,
                                    const std::function<bool()>& keepGoing) {
  // A new file gets 0666 less the umask, as open() would give it.
  const mode_t mode = existing ? existing->st_mode & 07777 : 0666 & ~ProcessUmask();
  std::string temporaryPath;
  const int fd = CreateTemporaryBeside(path, mode, temporaryPath);
  if (fd < 0) {
    const bool refused = errno == EACCES || errno == EPERM;
    return existing && refused ? Replacement::NeedsInPlace : Replacement::Failed;
  }
  // Readers of the old file are the readers of the new one.
  if (existing && !KeepsOwner(fd, *existing) && mustKeepOwner) {
    ::close(fd);
    ::unlink(temporaryPath.c_str());
    return Replacement::NeedsInPlace;
  }
  bool ok = WriteAll(fd, buffers, keepGoing) && (::fsync(fd) == 0 ? true : NoteErrno());
  Replacement result = ok ? Replacement::Done : Replacement::Failed;
  if (ok && ::rename(temporaryPath.c_str(), path.c_str()) != 0) {
    // A sticky folder lets only the file's owner replace it.
    result = existing && (errno == EPERM || errno == EACCES) ? Replacement::NeedsInPlace
                                                             : Replacement::Failed;
    NoteErrno();
    ok = false;
  }
  if (!ok) ::unlink(temporaryPath.c_str());
  // Closed (and unlocked) only once it has its final name or is gone.
  ::close(fd);
  if (ok) {
    SyncFolder(path);
    RemoveLeftoverTemporaries(path);
  }
  return result;
}

}  // namespace

std::optional<ByteBuffer> ReadRegularFile(const std::string& path, std::uint64_t maximumSize) {
  if (path.empty()) {
    NoteFileProblem(FileProblem::NotFound);
    return std::nullopt;
  }
  // Non-blocking, so that a FIFO without a writer cannot hold the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    NoteErrno();
    return std::nullopt;
  }
  struct stat info {};
  ByteBuffer bytes;
  bool ok = false;
  if (::fstat(fd, &info) != 0) {
    NoteErrno();
  } else if (!S_ISREG(info.st_mode)) {
    NoteFileProblem(FileProblem::NotRegularFile);
  } else if (static_cast<std::uint64_t>(info.st_size) > maximumSize) {
    NoteFileProblem(FileProblem::TooLarge);
  } else {
    bytes.reserve(static_cast<size_t>(info.st_size));
    ok = ReadAllFrom(fd, bytes, maximumSize);
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  return bytes;
}

ByteBuffer ReadWholeFile(const std::string& path) {
  return ReadRegularFile(path, std::numeric_limits<std::uint64_t>::max()).value_or(ByteBuffer());
}

bool WriteWholeFile(const std::string& path, const std::vector<ByteBuffer>& buffers) {
  if (path.empty()) return false;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return NoteErrno();
  // Exclusive use: Linux has no mandatory sharing, so this holds among our own opens.
  bool ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ftruncate(fd, 0) == 0 && WriteAll(fd, buffers);
  ok = (::close(fd) == 0) && ok;
  return ok;
}

bool WriteFileAtomically(const std::string& givenPath, const std::vector<ByteBuffer>& buffers,
                         bool replaceExisting) {
  if (givenPath.empty()) return false;
  // Through a symbolic link the file it points to is replaced, not the link.
  const std::optional<std::string> resolved = FollowLinksSafely(givenPath);
  if (!resolved) return false;
  const std::string& path = *resolved;
  struct stat existing {};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && (!replaceExisting || !S_ISREG(existing.st_mode))) {
    NoteFileProblem(exists && !S_ISREG(existing.st_mode) ? FileProblem::NotRegularFile
                                                         : FileProblem::Other);
    return false;
  }
  if (replaceExisting)
    return ReplaceThroughTemporary(path, exists ? &existing : nullptr, buffers, false, {}) ==
           Replacement::Done;

  std::string temporaryPath;
  const int fd = CreateTemporaryBeside(path, 0666 & ~ProcessUmask(), temporaryPath);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, buffers) && (::fsync(fd) == 0 ? true : NoteErrno());
  if (ok) {
    // link() refuses to replace a file that appeared meanwhile.
    ok = ::link(temporaryPath.c_str(), path.c_str()) == 0;
    // Some file systems have no hard links: fall back to a rename.
    if (!ok && (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS))
      ok = !PathExists(path) && ::rename(temporaryPath.c_str(), path.c_str()) == 0;
    if (!ok) NoteErrno();
  }
  ::unlink(temporaryPath.c_str());
  ::close(fd);
  if (ok) {
    SyncFolder(path);
    RemoveLeftoverTemporaries(path);
  }
  return ok;
}

bool SaveUserFile(const std::string& givenPath, const std::vector<ByteBuffer>& buffers,
                  const std::function<bool()>& keepGoing) {
  if (givenPath.empty()) {
    NoteFileProblem(FileProblem::NotFound);
    return false;
  }
  const std::optional<std::string> resolved = FollowLinksSafely(givenPath);
  if (!resolved) return false;
  const std::string& path = *resolved;
  struct stat existing {};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    NoteFileProblem(FileProblem::NotRegularFile);
    return false;
  }
  // Other names of the same file see the new text only when the file itself is written.
  if (exists && existing.st_nlink > 1) return WriteInPlace(path, existing, buffers);
  const Replacement done =
      ReplaceThroughTemporary(path, exists ? &existing : nullptr, buffers, true, keepGoing);
  if (done != Replacement::NeedsInPlace) return done == Replacement::Done;
  // The folder refuses the replacement, or the new file could not keep the owner: the
  // file is written where it is, if it may be written at all. One the user may not
  // write but may replace (in a folder of theirs) is replaced as before.
  if (::access(path.c_str(), W_OK) == 0) return WriteInPlace(path, existing, buffers);
  return ReplaceThroughTemporary(path, &existing, buffers, false, keepGoing) == Replacement::Done;
}

bool IsSameFile(const std::string& first, const std::string& second) {
  struct stat a {};
  struct stat b {};
  return !first.empty() && !second.empty() && ::stat(first.c_str(), &a) == 0 &&
         ::stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}
