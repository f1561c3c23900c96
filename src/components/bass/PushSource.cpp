#include "PushSource.h"

#include <algorithm>
#include <cstring>

namespace bass {

std::int64_t PushSource::Put(const void* data, std::int64_t n, bool end) {
  std::int64_t queued = 0;
  {
    std::lock_guard guard(lock_);
    if (ended_) return -1;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes && n > 0) queued_.insert(queued_.end(), bytes, bytes + n);
    ended_ = end;
    queued = static_cast<std::int64_t>(queued_.size());
  }
  std::lock_guard guard(listenerLock_);
  if (listener_) listener_();
  return queued;
}

std::int64_t PushSource::Read(std::int64_t pos, void* out, std::int64_t n) {
  std::lock_guard guard(lock_);
  if (pos < dropped_ || n <= 0) return 0;
  const auto skip = static_cast<std::size_t>(
      std::min<std::int64_t>(pos - dropped_, static_cast<std::int64_t>(queued_.size())));
  queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(skip));
  dropped_ += static_cast<std::int64_t>(skip);
  const auto take = static_cast<std::size_t>(
      std::min<std::int64_t>(n, static_cast<std::int64_t>(queued_.size())));
  std::copy_n(queued_.begin(), take, static_cast<std::uint8_t*>(out));
  queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(take));
  dropped_ += static_cast<std::int64_t>(take);
  return static_cast<std::int64_t>(take);
}

std::int64_t PushSource::Size() const {
  std::lock_guard guard(lock_);
  return ended_ ? dropped_ + static_cast<std::int64_t>(queued_.size()) : -1;
}

std::int64_t PushSource::Available() const {
  std::lock_guard guard(lock_);
  return dropped_ + static_cast<std::int64_t>(queued_.size());
}

bool PushSource::Complete() const {
  std::lock_guard guard(lock_);
  return ended_;
}

void PushSource::OnArrival(std::function<void()> listener) {
  std::lock_guard guard(listenerLock_);
  listener_ = std::move(listener);
}

namespace {

class PushDecoder : public Decoder {
 public:
  PushDecoder(std::shared_ptr<PushSource> source, int rate, int channels)
      : source_(std::move(source)), rate_(rate), channels_(channels) {}

  int Rate() const override { return rate_; }
  int Channels() const override { return channels_; }
  std::int64_t Frames() const override {
    const std::int64_t size = source_->Size();
    return size < 0 ? -1 : size / FrameBytes();
  }
  std::int64_t Read(std::int16_t* out, std::int64_t frames) override {
    // Complete is asked first: bytes that arrive between the two questions are read
    // next time, never taken for the end.
    const bool complete = source_->Complete();
    const std::int64_t whole = (source_->Available() - position_) / FrameBytes();
    if (whole <= 0) return complete ? 0 : kWaitForData;
    const std::int64_t got =
        source_->Read(position_, out, std::min(frames, whole) * FrameBytes()) / FrameBytes();
    position_ += got * FrameBytes();
    return got;
  }
  // Only forward, over data that has arrived: what was read is gone.
  bool Seek(std::int64_t frame) override {
    const std::int64_t bytes = frame * FrameBytes();
    if (bytes < position_ || bytes > source_->Available()) return false;
    position_ = bytes;
    return true;
  }

 private:
  std::int64_t FrameBytes() const { return 2 * channels_; }

  std::shared_ptr<PushSource> source_;
  int rate_;
  int channels_;
  std::int64_t position_ = 0;
};

}  // namespace

std::unique_ptr<Decoder> OpenPushDecoder(const std::shared_ptr<PushSource>& source, int rate,
                                         int channels) {
  if (!UsableFormat(rate, channels)) return nullptr;
  return std::make_unique<PushDecoder>(source, rate, channels);
}

}  // namespace bass
