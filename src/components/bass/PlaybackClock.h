#pragma once

#include <atomic>
#include <cstdint>

namespace bass {

// Where a channel's playback stands, written by whoever holds the channel's mix lock
// (the output callback, or a control call while it resets the channel) and read by
// any thread without waiting for the writer: a sequence lock. Every access is
// sequentially consistent, which keeps the field accesses between the two sequence
// updates without separate fences.
class PlaybackClock {
 public:
  struct Reading {
    std::int64_t base = 0;       // source frame the current run started at
    std::int64_t delivered = 0;  // output frames handed to the device since then
    std::int64_t lastChunk = 0;  // of those, the frames of the latest device buffer
    std::int64_t renderNs = 0;   // steady-clock time that buffer was handed over
  };

  void Write(const Reading& value) {
    const std::uint64_t seq = seq_.load();
    seq_.store(seq + 1);  // odd: a write is in progress
    base_.store(value.base);
    delivered_.store(value.delivered);
    lastChunk_.store(value.lastChunk);
    renderNs_.store(value.renderNs);
    seq_.store(seq + 2);
  }

  Reading Read() const {
    for (;;) {
      const std::uint64_t before = seq_.load();
      const Reading value{base_.load(), delivered_.load(), lastChunk_.load(), renderNs_.load()};
      if (!(before & 1) && seq_.load() == before) return value;
    }
  }

 private:
  std::atomic<std::uint64_t> seq_{0};
  std::atomic<std::int64_t> base_{0};
  std::atomic<std::int64_t> delivered_{0};
  std::atomic<std::int64_t> lastChunk_{0};
  std::atomic<std::int64_t> renderNs_{0};
};

}  // namespace bass
