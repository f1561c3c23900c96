#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "Channel.h"
#include "Mixer.h"
#include "Output.h"
#include "bass.h"

namespace bass {

// An initialised output with its mixer and the streams created on it.
class Device {
 public:
  // Null when the output cannot be opened.
  static std::unique_ptr<Device> Open(int device, int rate);
  ~Device();  // stops the output first, then every stream

  // Takes over the decoded source as a new stream; 0 when it cannot be played here.
  DWORD AddStream(std::shared_ptr<ByteSource> source, std::unique_ptr<Decoder> decoder,
                  DWORD handle);
  std::shared_ptr<Channel> Find(DWORD handle);
  bool FreeStream(DWORD handle);
  // Wakes every stream waiting for a download, before the device goes away.
  void InterruptAll();
  Mixer& mixer() { return *mixer_; }

 private:
  Device() = default;
  std::unique_ptr<Mixer> mixer_;
  std::unique_ptr<Output> output_;
  std::mutex streamsLock_;
  std::map<DWORD, std::shared_ptr<Channel>> streams_;
};

}  // namespace bass
