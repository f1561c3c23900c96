#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "Channel.h"

namespace bass {

// Sums the playing channels into the device's 16-bit buffers, applying each
// channel's volume and the library's output level.
class Mixer {
 public:
  explicit Mixer(OutputFormat format);

  // Control side; may wait for the output callback to finish its current buffer.
  void Add(Channel* channel);
  void Remove(Channel* channel);

  // Output side: fills frames frames of interleaved 16-bit audio. Never waits: when a
  // control call is changing the channel list, this buffer is silence.
  void Render(std::int16_t* out, std::int64_t frames);

  std::atomic<float> level{1.0f};

 private:
  const OutputFormat format_;
  std::mutex listLock_;
  std::vector<Channel*> channels_;
  std::vector<float> mix_;
  std::vector<float> scratch_;
};

}  // namespace bass
