#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "Device.h"

namespace bass {

// The library's one device and the handle numbers. Calls hold the device shared for
// their whole duration, so BASS_Free waits for calls in progress and none can see a
// half-destroyed device.
class Library {
 public:
  static Library& Instance();
  ~Library();

  bool Init(int device, int rate);
  bool Free();
  bool Initialised();

  // A new stream on the current device; 0 when there is none or it cannot play.
  DWORD AddStream(std::shared_ptr<ByteSource> source, std::unique_ptr<Decoder> decoder);

  template <typename R, typename F>
  R WithDevice(R fallback, F&& use) {
    std::shared_lock lock(deviceLock_);
    return device_ ? use(*device_) : fallback;
  }

  template <typename R, typename F>
  R WithChannel(DWORD handle, R fallback, F&& use) {
    std::shared_lock lock(deviceLock_);
    if (!device_ || handle == 0) return fallback;
    std::shared_ptr<Channel> channel = device_->Find(handle);
    return channel ? use(*channel) : fallback;
  }

 private:
  Library() = default;

  std::mutex lifecycle_;  // one Init or Free at a time
  std::shared_mutex deviceLock_;
  std::unique_ptr<Device> device_;
  std::atomic<DWORD> nextHandle_{0x10000};  // handles are never reused within a run
};

}  // namespace bass
