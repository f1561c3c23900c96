#include "ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace bass {
namespace {

class Memory : public ByteSource {
 public:
  Memory(const void* data, std::int64_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
  std::int64_t Read(std::int64_t pos, void* out, std::int64_t n) override {
    if (pos < 0 || n <= 0 || pos >= size_) return 0;
    n = std::min(n, size_ - pos);
    std::memcpy(out, data_ + pos, static_cast<std::size_t>(n));
    return n;
  }
  std::int64_t Size() const override { return size_; }
  std::int64_t Available() const override { return size_; }

 private:
  const std::uint8_t* data_;
  std::int64_t size_;
};

class File : public ByteSource {
 public:
  File(int fd, std::int64_t base, std::int64_t size) : fd_(fd), base_(base), size_(size) {}
  ~File() override { ::close(fd_); }
  std::int64_t Read(std::int64_t pos, void* out, std::int64_t n) override {
    if (pos < 0 || n <= 0 || pos >= size_) return 0;
    n = std::min(n, size_ - pos);
    std::int64_t done = 0;
    while (done < n) {
      const ssize_t got = ::pread(fd_, static_cast<char*>(out) + done,
                                  static_cast<std::size_t>(n - done), base_ + pos + done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;  // the file shrank or failed: the data ends here
      done += got;
    }
    return done;
  }
  std::int64_t Size() const override { return size_; }
  std::int64_t Available() const override { return size_; }

 private:
  int fd_;
  std::int64_t base_;
  std::int64_t size_;
};

}  // namespace

std::shared_ptr<ByteSource> MemorySource(const void* data, std::int64_t size) {
  if (!data || size <= 0) return nullptr;
  return std::make_shared<Memory>(data, size);
}

std::shared_ptr<ByteSource> FileSource(const std::string& path, std::uint64_t offset,
                                       std::uint64_t length) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      offset >= static_cast<std::uint64_t>(info.st_size)) {
    ::close(fd);
    return nullptr;
  }
  const std::uint64_t rest = static_cast<std::uint64_t>(info.st_size) - offset;
  const std::uint64_t size = length == 0 ? rest : std::min(length, rest);
  return std::make_shared<File>(fd, static_cast<std::int64_t>(offset),
                                static_cast<std::int64_t>(size));
}

}  // namespace bass
