#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ByteSource.h"
#include "bass.h"

namespace bass {

// An http(s) download on a thread of its own. Readers wait for bytes that have not
// arrived yet; arrived bytes are kept in fixed chunks, so appending never moves them.
class UrlSource : public ByteSource {
 public:
  // Starts downloading from byte offset on (a Range request; skipped locally when the
  // server ignores it). Null for other schemes or when curl cannot start.
  static std::shared_ptr<UrlSource> Start(const std::string& url, std::uint32_t offset,
                                          DOWNLOADPROC* proc, void* user);
  ~UrlSource() override;

  // Waits until bytes are available, the download has ended or the time is up.
  void WaitFor(std::int64_t bytes, std::chrono::milliseconds timeout);
  // The download ended without delivering any data (error status, no connection).
  bool Failed() const;

  std::int64_t Read(std::int64_t pos, void* out, std::int64_t n) override;
  std::int64_t Size() const override { return size_.load(); }
  std::int64_t Available() const override { return available_.load(); }
  bool Complete() const override { return complete_.load(); }
  void OnArrival(std::function<void()> listener) override;
  void WaitComplete() override;
  void Interrupt() override;

 private:
  struct Private;
  UrlSource(std::uint32_t offset, DOWNLOADPROC* proc, void* user);
  void Run();
  void Finish(bool ok);
  static std::size_t OnData(char* data, std::size_t size, std::size_t count, void* self);
  std::size_t Append(const char* data, std::size_t bytes);

  static constexpr std::int64_t kChunk = 64 * 1024;

  std::unique_ptr<Private> curl_;
  const std::uint32_t offset_;
  DOWNLOADPROC* const proc_;
  void* const user_;
  std::int64_t skip_ = 0;  // fetcher thread only
  bool headersSeen_ = false;

  mutable std::mutex mutex_;  // guards chunks_ (the table, not the bytes already written)
  std::condition_variable arrived_;
  std::function<void()> listener_;
  std::vector<std::unique_ptr<std::uint8_t[]>> chunks_;
  std::atomic<std::int64_t> available_{0};
  std::atomic<std::int64_t> size_{-1};
  std::atomic<bool> complete_{false};
  std::atomic<bool> failed_{false};
  std::atomic<bool> interrupted_{false};
  std::thread fetcher_;
};

}  // namespace bass
