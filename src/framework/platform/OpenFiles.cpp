#include "framework/platform/OpenFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "framework/platform/FileProblems.h"

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The length of the text in what was read: up to a zero byte, a 0x1A, or a lead
// byte whose second byte is zero. Two-byte units are stepped over whole, so a
// second byte is never taken for an end.
std::size_t TextEnd(const std::string& bytes, bool& endFound) {
  endFound = true;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == 0x00 || c == 0x1A) return i;
    if (c >= 0x80) {
      if (i + 1 < bytes.size() && bytes[i + 1] == '\0') return i;
      i += 2;
    } else {
      ++i;
    }
  }
  endFound = false;
  return bytes.size();
}

}  // namespace

OpenFiles::~OpenFiles() {
  for (auto& [number, entry] : files_) ::close(entry.fd);
}

int OpenFiles::Open(const std::string& nativePath, int mode, int sharing) {
  if (nativePath.empty() || mode < 1 || mode > 6 || sharing < 1 || sharing > 4) return 0;
  static constexpr int kFlags[] = {0,
                                   O_RDONLY,
                                   O_WRONLY,
                                   O_RDWR,
                                   O_WRONLY | O_CREAT | O_TRUNC,
                                   O_WRONLY | O_CREAT,
                                   O_RDWR | O_CREAT};
  Entry entry;
  entry.reads = mode == 1 || mode == 3 || mode == 6;
  entry.writes = mode != 1;
  entry.deniesRead = sharing == 2 || sharing == 4;
  entry.deniesWrite = sharing == 3 || sharing == 4;

  std::lock_guard lock(mutex_);
  // Check sharing against our other opens before anything is created or emptied.
  struct stat info {};
  if (::stat(nativePath.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      NoteFileProblem(FileProblem::NotRegularFile);
      return 0;
    }
    for (const auto& [number, other] : files_) {
      if (other.device != info.st_dev || other.inode != info.st_ino) continue;
      if ((entry.reads && other.deniesRead) || (entry.writes && other.deniesWrite) ||
          (other.reads && entry.deniesRead) || (other.writes && entry.deniesWrite)) {
        NoteFileProblem(FileProblem::InUse);
        return 0;
      }
    }
  }
  // Non-blocking, so that a FIFO cannot hold the open; FIFOs and sockets are refused.
  entry.fd = ::open(nativePath.c_str(), kFlags[mode] | O_CLOEXEC | O_NONBLOCK, 0666);
  if (entry.fd < 0) return NoteErrno();
  if (::fstat(entry.fd, &info) != 0 || S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode) ||
      S_ISSOCK(info.st_mode) ||
      ::fcntl(entry.fd, F_SETFL, ::fcntl(entry.fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    NoteFileProblem(FileProblem::NotRegularFile);
    ::close(entry.fd);
    return 0;
  }
  entry.device = info.st_dev;
  entry.inode = info.st_ino;
  const int number = next_++;
  files_[number] = entry;
  return number;
}

Text OpenFiles::ReadText(int file, std::optional<int> count) {
  std::lock_guard lock(mutex_);
  auto found = files_.find(file);
  if (found == files_.end()) return Text();
  const int fd = found->second.fd;
  long long wanted = 0;
  if (count) {
    wanted = *count;
  } else {
    struct stat info {};
    if (::fstat(fd, &info) == 0) wanted = info.st_size;
  }
  if (wanted < 1) return Text();

  const off_t start = ::lseek(fd, 0, SEEK_CUR);
  std::string bytes(static_cast<std::size_t>(wanted), '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::lseek(fd, 0, SEEK_END);
      return Text();
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  bool endFound = false;
  const std::size_t length = TextEnd(bytes, endFound);
  if (endFound) ::lseek(fd, start + static_cast<off_t>(length), SEEK_SET);
  bytes.resize(length);
  return bytes;
}

bool OpenFiles::WriteText(int file, const std::vector<Text>& texts) {
  std::lock_guard lock(mutex_);
  auto found = files_.find(file);
  if (found == files_.end()) return false;
  const int fd = found->second.fd;
  const off_t start = ::lseek(fd, 0, SEEK_CUR);
  for (const Text& text : texts) {
    if (!WriteAll(fd, text)) {
      ::lseek(fd, start, SEEK_SET);
      return false;
    }
  }
  return true;
}

void OpenFiles::Close(int file) {
  std::lock_guard lock(mutex_);
  auto found = files_.find(file);
  if (found == files_.end()) return;
  ::close(found->second.fd);
  files_.erase(found);
}

long long OpenFiles::Position(int file) {
  std::lock_guard lock(mutex_);
  auto found = files_.find(file);
  return found == files_.end() ? -1 : ::lseek(found->second.fd, 0, SEEK_CUR);
}
