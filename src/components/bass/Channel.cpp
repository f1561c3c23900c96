#include "Channel.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "Fft.h"
#include "Id3v1.h"

namespace bass {
namespace {

constexpr std::int64_t kDecodeFrames = 1024;
constexpr std::int64_t kMinWrite = 256;  // smaller gaps in the ring are left for later

std::int64_t RingFrames(const OutputFormat& output) {
  return std::max<std::int64_t>({4 * output.bufferFrames, output.rate / 5, 4 * kMinWrite});
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

Channel::Channel(std::shared_ptr<ByteSource> source, std::unique_ptr<Decoder> decoder,
                 OutputFormat output)
    : source_(std::move(source)),
      decoder_(std::move(decoder)),
      output_(output),
      rate_(decoder_->Rate()),
      channels_(decoder_->Channels()),
      ring_(output.channels, RingFrames(output)) {
  conversion_ = SDL_NewAudioStream(AUDIO_F32SYS, static_cast<Uint8>(channels_), rate_, AUDIO_F32SYS,
                                   static_cast<Uint8>(output_.channels), output_.rate);
  pcm_.resize(static_cast<std::size_t>(kDecodeFrames * channels_));
  samples_.resize(pcm_.size());
  converted_.resize(static_cast<std::size_t>(kDecodeFrames * output_.channels));
  lengthFrames_.store(decoder_->Frames());
  // Enough history to reach back from what is heard past everything decoded ahead
  // of it (the ring, the resampler's look-ahead) to the widest FFT.
  const std::int64_t ahead = ring_.Capacity() * rate_ / output_.rate + rate_ / 8 + kDecodeFrames;
  history_.resize(static_cast<std::size_t>(ahead + 4096));
  source_->OnArrival([this] { wakeup_.Post(); });
}

Channel::~Channel() {
  Shutdown();
  if (conversion_) SDL_FreeAudioStream(conversion_);
}

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
  int playing = kPlaying;
  return !dead_ && state_.compare_exchange_strong(playing, kPaused);
}

// Like pause, the ring keeps what was decoded, so a later play without restart
// continues exactly where the listener left off.
bool Channel::Stop() {
  std::lock_guard control(control_);
  if (dead_) return false;
  state_.store(kStopped);
  return true;
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
  if (!conversion_ || sourceEnded_.load()) return;
  const int outFrameBytes = output_.channels * static_cast<int>(sizeof(float));
  const std::int64_t chunk = kDecodeFrames;
  while (ring_.Space() >= kMinWrite) {
    std::int64_t ready = SDL_AudioStreamAvailable(conversion_) / outFrameBytes;
    // The resampler's padding may give a frame or two beyond the stream's end.
    if (decoderDone_) ready = std::min(ready, expectedOut_ - convertedOut_);
    if (ready > 0) {
      const std::int64_t take = std::min({ready, ring_.Space(), chunk});
      const int got = SDL_AudioStreamGet(conversion_, converted_.data(),
                                         static_cast<int>(take * outFrameBytes));
      if (got <= 0) break;
      ring_.Write(converted_.data(), got / outFrameBytes);
      convertedOut_ += got / outFrameBytes;
      continue;
    }
    if (decoderDone_) {
      // SDL keeps the resampler's look-ahead until more input comes: push silence
      // through until every frame of the stream is out.
      if (convertedOut_ >= expectedOut_ || padded_ > rate_) {
        sourceEnded_.store(true, std::memory_order_release);
        return;
      }
      std::fill(samples_.begin(), samples_.end(), 0.0f);
      SDL_AudioStreamPut(conversion_, samples_.data(),
                         static_cast<int>(samples_.size() * sizeof(float)));
      padded_ += chunk;
      continue;
    }
    const std::int64_t got = decoder_->Read(pcm_.data(), chunk);
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
    for (std::int64_t i = 0; i < got * channels_; ++i)
      samples_[static_cast<std::size_t>(i)] = pcm_[static_cast<std::size_t>(i)] / 32768.0f;
    SDL_AudioStreamPut(conversion_, samples_.data(),
                       static_cast<int>(got * channels_ * static_cast<int>(sizeof(float))));
    convertedIn_ += got;
    decodedEnd_.fetch_add(got);
  }
}

void Channel::Reposition(std::int64_t frame) {
  if (conversion_) SDL_AudioStreamClear(conversion_);
  convertedIn_ = convertedOut_ = expectedOut_ = padded_ = 0;
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
