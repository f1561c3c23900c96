#include "framework/platform/PrivateFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <random>

namespace {

bool WriteAll(int fd, const std::vector<ByteBuffer>& buffers) {
  for (const ByteBuffer& buffer : buffers) {
    size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t n = ::write(fd, buffer.data() + done, buffer.size() - done);
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
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A complete, flushed private file under a fresh temporary name beside the path; the
// descriptor is closed. Empty when it could not be written (nothing is left behind).
std::string WriteTemporaryBeside(const std::string& path, const std::vector<ByteBuffer>& buffers) {
  const std::string folder = FolderOf(path);
  const std::string name = path.substr(folder.size() + 1);
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = folder + "/." + name + ".tmp-" + std::to_string(random());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return {};
    // The umask may only narrow 0600; fchmod makes it exactly that.
    bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, buffers) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) return temporary;
    ::unlink(temporary.c_str());
    return {};
  }
  return {};
}

void SyncFolder(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The folder if it is ours and private (made so), else nothing.
bool UsableFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
  if (ok && (info.st_mode & 07777) != 0700) ok = ::fchmod(fd, 0700) == 0;
  ::close(fd);
  return ok && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string AbsoluteVariable(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string ChooseFallbackFolder() {
  if (const std::string runtime = AbsoluteVariable("XDG_RUNTIME_DIR"); !runtime.empty()) {
    const std::string folder = runtime + "/orvane-notepad";
    if (MakePrivateFolder(folder)) return folder;
  }
  std::string temporary = AbsoluteVariable("TMPDIR");
  if (temporary.empty()) temporary = "/tmp";
  // A fixed name is found again by the next start; someone else's folder or a link
  // there is never used, a new folder of a random name is made instead.
  const std::string fixed = temporary + "/orvane-notepad-" + std::to_string(::geteuid());
  if ((::mkdir(fixed.c_str(), 0700) == 0 || errno == EEXIST) && UsableFolder(fixed)) return fixed;
  std::string pattern = fixed + "-XXXXXX";
  if (::mkdtemp(pattern.data()) && UsableFolder(pattern)) return pattern;
  return {};
}

}  // namespace

bool MakePrivateFolder(const std::string& folder) {
  if (folder.empty() || folder[0] != '/') return false;
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    if (::mkdir(folder.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return UsableFolder(folder);
}

std::string FallbackFolder() {
  static std::mutex mutex;
  static bool chosen = false;
  static std::string folder;
  std::lock_guard lock(mutex);
  if (!chosen || !UsableFolder(folder)) {
    folder = ChooseFallbackFolder();
    chosen = true;
  }
  return folder;
}

PrivateCreation CreatePrivateFile(const std::string& path, const std::vector<ByteBuffer>& buffers) {
  struct stat existing {};
  if (path.empty()) return PrivateCreation::Failed;
  if (::lstat(path.c_str(), &existing) == 0) return PrivateCreation::Taken;
  const std::string temporary = WriteTemporaryBeside(path, buffers);
  if (temporary.empty()) return PrivateCreation::Failed;
  // link() never follows or replaces what is at the name, a dangling link included.
  PrivateCreation outcome = PrivateCreation::Failed;
  if (::link(temporary.c_str(), path.c_str()) == 0)
    outcome = PrivateCreation::Created;
  else if (errno == EEXIST)
    outcome = PrivateCreation::Taken;
  ::unlink(temporary.c_str());
  if (outcome == PrivateCreation::Created) SyncFolder(path);
  return outcome;
}

bool ReplacePrivateFile(const std::string& path, const std::vector<ByteBuffer>& buffers) {
  const std::string temporary = path.empty() ? std::string() : WriteTemporaryBeside(path, buffers);
  if (temporary.empty()) return false;
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(path);
  return true;
}

std::vector<std::string> RegularFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    struct stat info {};
    const std::string name = entry->d_name;
    if (::fstatat(::dirfd(dir), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(info.st_mode))
      names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

bool IsSameProgramRunning(int processId) {
  if (processId <= 0) return false;
  if (::kill(processId, 0) != 0 && errno != EPERM) return false;
  // A reused process id belongs to some other program.
  struct stat mine {};
  struct stat theirs {};
  const std::string exe = "/proc/" + std::to_string(processId) + "/exe";
  if (::stat("/proc/self/exe", &mine) != 0) return true;  // cannot tell: assume it runs
  if (::stat(exe.c_str(), &theirs) != 0) return errno == EACCES;
  return mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
}
