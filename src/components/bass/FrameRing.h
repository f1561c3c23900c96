#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace bass {

// Converted audio waiting for the output: one writer (the channel's feeder) and one
// reader (the output callback), without locks. Reset only while neither runs.
class FrameRing {
 public:
  FrameRing(int channels, std::int64_t capacityFrames)
      : channels_(channels),
        capacity_(capacityFrames),
        samples_(static_cast<std::size_t>(capacityFrames * channels)) {}

  std::int64_t Capacity() const { return capacity_; }
  std::int64_t Filled() const {
    return write_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire);
  }
  std::int64_t Space() const { return capacity_ - Filled(); }

  // Writer side: appends up to frames frames, returns how many fitted.
  std::int64_t Write(const float* in, std::int64_t frames) {
    const std::int64_t w = write_.load(std::memory_order_relaxed);
    const std::int64_t free = capacity_ - (w - read_.load(std::memory_order_acquire));
    const std::int64_t n = std::min(frames, free);
    for (std::int64_t done = 0; done < n;) {
      const std::int64_t index = (w + done) % capacity_;
      const std::int64_t run = std::min(n - done, capacity_ - index);
      std::memcpy(Slot(index), in + done * channels_, Bytes(run));
      done += run;
    }
    write_.store(w + n, std::memory_order_release);
    return n;
  }

  // Reader side: takes up to frames frames, returns how many there were.
  std::int64_t Read(float* out, std::int64_t frames) {
    const std::int64_t r = read_.load(std::memory_order_relaxed);
    const std::int64_t n = std::min(frames, write_.load(std::memory_order_acquire) - r);
    for (std::int64_t done = 0; done < n;) {
      const std::int64_t index = (r + done) % capacity_;
      const std::int64_t run = std::min(n - done, capacity_ - index);
      std::memcpy(out + done * channels_, Slot(index), Bytes(run));
      done += run;
    }
    read_.store(r + n, std::memory_order_release);
    return n;
  }

  void Reset() {
    read_.store(0);
    write_.store(0);
  }

 private:
  float* Slot(std::int64_t index) { return samples_.data() + index * channels_; }
  std::size_t Bytes(std::int64_t frames) const {
    return static_cast<std::size_t>(frames * channels_) * sizeof(float);
  }

  const int channels_;
  const std::int64_t capacity_;
  std::vector<float> samples_;
  std::atomic<std::int64_t> write_{0};  // frames ever written
  std::atomic<std::int64_t> read_{0};   // frames ever read
};

}  // namespace bass
