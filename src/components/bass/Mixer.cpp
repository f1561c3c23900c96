#include "Mixer.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace bass {

Mixer::Mixer(OutputFormat format)
    : format_(format),
      mix_(static_cast<std::size_t>(format.bufferFrames * format.channels)),
      scratch_(mix_.size()) {
  channels_.reserve(64);
}

void Mixer::Add(Channel* channel) {
  std::lock_guard lock(listLock_);
  channels_.push_back(channel);
}

void Mixer::Remove(Channel* channel) {
  std::lock_guard lock(listLock_);
  channels_.erase(std::remove(channels_.begin(), channels_.end(), channel), channels_.end());
}

void Mixer::Render(std::int16_t* out, std::int64_t frames) {
  const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
  std::unique_lock lock(listLock_, std::try_to_lock);
  if (!lock.owns_lock()) {
    std::fill(out, out + frames * format_.channels, std::int16_t{0});
    return;
  }
  const float level = this->level.load(std::memory_order_relaxed) * 32768.0f;
  while (frames > 0) {
    const std::int64_t block = std::min(frames, format_.bufferFrames);
    const std::size_t samples = static_cast<std::size_t>(block * format_.channels);
    std::fill(mix_.begin(), mix_.begin() + static_cast<std::ptrdiff_t>(samples), 0.0f);
    for (Channel* channel : channels_) channel->MixInto(mix_.data(), scratch_.data(), block, now);
    for (std::size_t i = 0; i < samples; ++i) {
      const float value = std::nearbyint(mix_[i] * level);
      out[i] = static_cast<std::int16_t>(std::clamp(value, -32768.0f, 32767.0f));
    }
    out += samples;
    frames -= block;
  }
}

}  // namespace bass
