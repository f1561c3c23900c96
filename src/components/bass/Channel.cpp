#include "Channel.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "Fft.h"
#include "Id3v1.h"

namespace bass {
namespace {

constexpr std::int64_t kDecodeFrames = 1024;
constexpr std::int64_t kConvertFrames = 1024;  // output frames per resampler call
constexpr std::int64_t kMinWrite = 256;        // smaller gaps in the ring are left for later

std::int64_t RingFrames(const OutputFormat& output) {
  return std::max<std::int64_t>({4 * output.bufferFrames, output.rate / 5, 4 * kMinWrite});
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Gains that fold 3 to 8 channels in WAV order (front left, front right, centre,
// LFE, back or side pairs) into left and right, each side's gains summing to 1 so
// that nothing clips. The LFE is left out as most stereo downmixes do.
void DownmixGains(int channels, std::vector<float>& left, std::vector<float>& right) {
  left.assign(static_cast<std::size_t>(channels), 0.0f);
  right.assign(left.size(), 0.0f);
  if (channels < 3) return;
  constexpr float kSide = 0.7071f;
  left[0] = right[1] = 1.0f;
  const bool centre = channels != 4;
  const bool lfe = channels >= 6;
  int next = 2;
  if (centre) left[2] = right[2] = kSide, next = 3;
  if (lfe) next = 4;
  bool toLeft = true;
  for (int i = next; i < channels; ++i) {
    if (channels == 7 && i == 4) {  // 6.1: one back centre
      left[4] = right[4] = kSide;
      continue;
    }
    (toLeft ? left : right)[static_cast<std::size_t>(i)] = kSide;
    toLeft = !toLeft;
  }
  float sumLeft = 0.0f, sumRight = 0.0f;
  for (int i = 0; i < channels; ++i) sumLeft += left[i], sumRight += right[i];
  for (int i = 0; i < channels; ++i) left[i] /= sumLeft, right[i] /= sumRight;
}

}  // namespace

Channel::Channel(std::shared_ptr<ByteSource> source, std::unique_ptr<Decoder> decoder,
                 OutputFormat output)
    : source_(std::move(source)),
      decoder_(std::move(decoder)),
      output_(output),
      rate_(decoder_->Rate()),
      channels_(decoder_->Channels()),
      resampleChannels_(channels_ == 1 ? 1 : output.channels),
      resampler_(rate_, output.rate, resampleChannels_),
      ring_(output.channels, RingFrames(output)) {
  DownmixGains(channels_, leftGain_, rightGain_);
  pcm_.resize(static_cast<std::size_t>(kDecodeFrames * channels_));
  samples_.resize(static_cast<std::size_t>(kDecodeFrames * resampleChannels_));
  converted_.resize(static_cast<std::size_t>(kConvertFrames * resampleChannels_));
  mapped_.resize(static_cast<std::size_t>(kConvertFrames * output_.channels));
  lengthFrames_.store(decoder_->Frames());
  // Enough history to reach back from what is heard past everything decoded ahead
  // of it (the ring, the resampler's look-ahead) to the widest FFT.
  const std::int64_t ahead = ring_.Capacity() * rate_ / output_.rate + rate_ / 8 + kDecodeFrames;
  history_.resize(static_cast<std::size_t>(ahead + 4096));
  source_->OnArrival([this] { wakeup_.Post(); });
}

Channel::~Channel() { Shutdown(); }

void Channel::Interrupt() { source_->Interrupt(); }

void Channel::Shutdown() {
  Interrupt();  // a control call or the feeder waiting for a download returns at once
  {
    std::lock_guard control(control_);
    if (dead_) return;
    dead_ = true;
    state_.store(kStopped);
  }
  source_->OnArrival(nullptr);
  quit_.store(true);
  wakeup_.Post();
  if (feeder_.joinable()) feeder_.join();
}

bool Channel::Play(bool restart) {
  std::lock_guard control(control_);
  if (dead_) return false;
  {
    std::lock_guard decode(decode_);
    if (restart || finished_.load()) {
      // A stream that has not decoded anything yet is at its start already, which
      // matters for a download that cannot seek.
      if (decodedEnd_.load() != 0 && !decoder_->Seek(0)) return false;
      Reposition(0);
    }
    if (state_.load() == kPlaying) return true;
    Fill();
  }
  if (!feeder_.joinable()) {
    try {
      feeder_ = std::thread([this] { FeedLoop(); });
    } catch (...) {
      return false;
    }
  }
  starved_.store(ring_.Filled() == 0 && !sourceEnded_.load());
  state_.store(kPlaying);
  wakeup_.Post();
  return true;
}

bool Channel::Pause() {
  std::lock_guard control(control_);
  if (dead_) return false;
  std::lock_guard mix(mix_);  // no buffer is being handed over while this holds
  int playing = kPlaying;
  if (!state_.compare_exchange_strong(playing, kPaused)) return false;
  Freeze();
  return true;
}

// Like pause, the ring keeps what was decoded, so a later play without restart
// continues exactly where the listener left off.
bool Channel::Stop() {
  std::lock_guard control(control_);
  if (dead_) return false;
  std::lock_guard mix(mix_);
  state_.store(kStopped);
  Freeze();
  return true;
}

// The device still plays out the buffer it holds, but the position stops at its end
// at once: that is where playing goes on, so nothing is heard twice or skipped.
void Channel::Freeze() {
  clockState_.lastChunk = 0;
  clock_.Write(clockState_);
}

int Channel::Activity() const {
  switch (state_.load()) {
    case kPlaying:
      return starved_.load() ? kStalled : kPlaying;
    case kPaused:
      return kPaused;
    default:
      return kStopped;
  }
}

std::int64_t Channel::HeardFrame() const {
  if (finished_.load(std::memory_order_acquire)) return decodedEnd_.load();
  const PlaybackClock::Reading clock = clock_.Read();
  // The latest buffer is heard over its own duration after it was handed over.
  std::int64_t playedOfLast = clock.lastChunk;
  if (clock.renderNs != 0) {
    const std::int64_t elapsed =
        std::clamp<std::int64_t>(NowNs() - clock.renderNs, 0, 1'000'000'000'000);
    playedOfLast = std::min(clock.lastChunk, elapsed * output_.rate / 1'000'000'000);
  }
  const std::int64_t heardOut = clock.delivered - clock.lastChunk + playedOfLast;
  std::int64_t frame = clock.base + heardOut * rate_ / output_.rate;
  frame = std::min(frame, decodedEnd_.load());
  const std::int64_t length = lengthFrames_.load();
  if (length >= 0) frame = std::min(frame, length);
  return frame;
}

std::int64_t Channel::PositionBytes() const { return HeardFrame() * BytesPerFrame(); }

bool Channel::SetPositionBytes(std::int64_t bytes) {
  if (bytes < 0) return false;
  const std::int64_t frame = bytes / BytesPerFrame();
  std::lock_guard control(control_);
  if (dead_) return false;
  const std::int64_t length = lengthFrames_.load();
  if (length >= 0 && frame > length) return false;
  std::lock_guard decode(decode_);
  if (!decoder_->Seek(frame)) return false;
  Reposition(frame);
  if (state_.load() == kPlaying) Fill();
  wakeup_.Post();
  return true;
}

std::int64_t Channel::LengthBytes() const {
  const std::int64_t frames = lengthFrames_.load();
  return frames < 0 ? -1 : frames * BytesPerFrame();
}

const char* Channel::Id3Tag() {
  std::lock_guard lock(tagLock_);
  // A download is looked at once it is complete; its end is not there before.
  if (!tagChecked_ && source_->Complete()) {
    tag_ = FindId3v1(*source_);
    tagChecked_ = true;
  }
  return tag_ ? tag_->data() : nullptr;
}

std::int64_t Channel::Spectrum(float* out, std::size_t points) const {
  if (state_.load() == kStopped) return -1;
  const std::int64_t end = HeardFrame();
  std::vector<float> window(points, 0.0f);
  {
    std::lock_guard lock(historyLock_);
    const std::int64_t size = static_cast<std::int64_t>(history_.size());
    for (std::size_t i = 0; i < points; ++i) {
      const std::int64_t frame =
          end - static_cast<std::int64_t>(points) + static_cast<std::int64_t>(i);
      if (frame >= historyStart_ && frame < historyEnd_)
        window[i] = history_[static_cast<std::size_t>(frame % size)];
    }
  }
  if (!HannSpectrum(window, out)) return -1;
  return static_cast<std::int64_t>(points / 2 * sizeof(float));
}

bool Channel::SetVolume(float volume) {
  if (!(volume == volume)) return false;  // NaN
  volume_.store(std::clamp(volume, 0.0f, 1.0f));
  return true;
}

void Channel::MixInto(float* mix, float* scratch, std::int64_t frames, std::int64_t nowNs) {
  if (state_.load(std::memory_order_acquire) != kPlaying) return;
  std::unique_lock lock(mix_, std::try_to_lock);
  if (!lock.owns_lock() || state_.load() != kPlaying) return;

  const std::int64_t got = ring_.Read(scratch, frames);
  const float volume = volume_.load(std::memory_order_relaxed);
  for (std::int64_t i = 0; i < got * output_.channels; ++i) mix[i] += scratch[i] * volume;
  clockState_.delivered += got;
  clockState_.lastChunk = got;
  clockState_.renderNs = nowNs;
  clock_.Write(clockState_);

  if (got < frames) {
    if (sourceEnded_.load(std::memory_order_acquire) && ring_.Filled() == 0) {
      starved_.store(false);
      finished_.store(true, std::memory_order_release);
      int playing = kPlaying;
      state_.compare_exchange_strong(playing, kStopped);
      return;
    }
    starved_.store(true);
  } else {
    starved_.store(false);
  }
  if (ring_.Space() >= kMinWrite) wakeup_.Post();
}

void Channel::FeedLoop() {
  for (;;) {
    wakeup_.Wait();
    if (quit_.load()) return;
    std::lock_guard decode(decode_);
    if (state_.load() == kPlaying) Fill();
  }
}

void Channel::Fill() {
  if (!resampler_.Ready() || sourceEnded_.load()) return;
  while (ring_.Space() >= kMinWrite) {
    if (pendingAt_ < pendingEnd_ || decoderDone_) {
      std::int64_t room = std::min(ring_.Space(), kConvertFrames);
      // The filter's tail may hold a frame beyond the stream's exact length.
      if (decoderDone_) room = std::min(room, expectedOut_ - convertedOut_);
      const float* in = decoderDone_ ? nullptr : samples_.data() + pendingAt_ * resampleChannels_;
      std::int64_t used = 0;
      const std::int64_t made = room > 0 ? resampler_.Process(in, pendingEnd_ - pendingAt_, &used,
                                                              converted_.data(), room)
                                         : 0;
      pendingAt_ += used;
      if (made > 0) {
        WriteConverted(made);
        convertedOut_ += made;
        continue;
      }
      if (decoderDone_) {
        sourceEnded_.store(true, std::memory_order_release);
        return;
      }
      if (used == 0) return;  // cannot happen with room to write; never spin
      continue;
    }
    const std::int64_t got = decoder_->Read(pcm_.data(), kDecodeFrames);
    if (actualEnd_ < 0) lengthFrames_.store(decoder_->Frames());
    if (got == Decoder::kWaitForData) return;
    if (got <= 0) {
      decoderDone_ = true;
      // What the decoder really gave is the length from now on.
      if (actualEnd_ < 0) actualEnd_ = decodedEnd_.load();
      lengthFrames_.store(actualEnd_);
      expectedOut_ = (convertedIn_ * output_.rate + rate_ - 1) / rate_;
      continue;
    }
    Remember(decodedEnd_.load(), pcm_.data(), got);
    Unpack(got);
    convertedIn_ += got;
    decodedEnd_.fetch_add(got);
  }
}

void Channel::Unpack(std::int64_t frames) {
  constexpr float kScale = 1.0f / 32768.0f;
  if (channels_ <= resampleChannels_) {
    for (std::int64_t i = 0; i < frames * channels_; ++i)
      samples_[static_cast<std::size_t>(i)] = pcm_[static_cast<std::size_t>(i)] * kScale;
  } else {
    for (std::int64_t f = 0; f < frames; ++f) {
      float left = 0.0f, right = 0.0f;
      for (int c = 0; c < channels_; ++c) {
        const float value = pcm_[static_cast<std::size_t>(f * channels_ + c)] * kScale;
        left += leftGain_[static_cast<std::size_t>(c)] * value;
        right += rightGain_[static_cast<std::size_t>(c)] * value;
      }
      samples_[static_cast<std::size_t>(2 * f)] = left;
      samples_[static_cast<std::size_t>(2 * f + 1)] = right;
    }
  }
  pendingAt_ = 0;
  pendingEnd_ = frames;
}

void Channel::WriteConverted(std::int64_t frames) {
  if (resampleChannels_ == output_.channels) {
    ring_.Write(converted_.data(), frames);
    return;
  }
  for (std::int64_t f = 0; f < frames; ++f)
    for (int c = 0; c < output_.channels; ++c)
      mapped_[static_cast<std::size_t>(f * output_.channels + c)] =
          converted_[static_cast<std::size_t>(f)];
  ring_.Write(mapped_.data(), frames);
}

void Channel::Reposition(std::int64_t frame) {
  resampler_.Clear();
  convertedIn_ = convertedOut_ = expectedOut_ = pendingAt_ = pendingEnd_ = 0;
  decoderDone_ = false;
  decodedEnd_.store(frame);
  {
    std::lock_guard lock(historyLock_);
    historyStart_ = historyEnd_ = frame;
  }
  std::lock_guard mix(mix_);
  ring_.Reset();
  clockState_ = PlaybackClock::Reading{frame, 0, 0, 0};
  clock_.Write(clockState_);
  sourceEnded_.store(false);
  finished_.store(false);
  starved_.store(false);
}

void Channel::Remember(std::int64_t firstFrame, const std::int16_t* pcm, std::int64_t frames) {
  std::lock_guard lock(historyLock_);
  const std::int64_t size = static_cast<std::int64_t>(history_.size());
  for (std::int64_t i = 0; i < frames; ++i) {
    float sum = 0.0f;
    for (int c = 0; c < channels_; ++c) sum += pcm[i * channels_ + c];
    history_[static_cast<std::size_t>((firstFrame + i) % size)] = sum / (32768.0f * channels_);
  }
  historyEnd_ = firstFrame + frames;
  historyStart_ = std::max(historyStart_, historyEnd_ - size);
}

}  // namespace bass
