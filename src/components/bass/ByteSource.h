#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace bass {

// The encoded bytes of a stream: memory, a file or a download in progress.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to n bytes from pos; fewer only at the end of the data, or when the
  // source is interrupted while it waits for a download.
  virtual std::int64_t Read(std::int64_t pos, void* out, std::int64_t n) = 0;
  // The total size; -1 while a download does not know it yet.
  virtual std::int64_t Size() const = 0;
  // Bytes from the start that can be read now without waiting.
  virtual std::int64_t Available() const = 0;
  // No more bytes will arrive: Available() is final.
  virtual bool Complete() const { return true; }
  // Calls listener (cheap, non-blocking) whenever bytes arrive or the download ends;
  // an empty listener removes it, and no call is in progress once that returns.
  virtual void OnArrival(std::function<void()> listener) { (void)listener; }
  // Waits until Complete() (a download has ended or was interrupted).
  virtual void WaitComplete() {}
  // Makes every waiting and later Read return at once.
  virtual void Interrupt() {}
};

// The caller's bytes, read in place.
std::shared_ptr<ByteSource> MemorySource(const void* data, std::int64_t size);
// length bytes of the file from offset (0: to its end); null when it cannot be opened
// or the range is empty.
std::shared_ptr<ByteSource> FileSource(const std::string& path, std::uint64_t offset,
                                       std::uint64_t length);

}  // namespace bass
