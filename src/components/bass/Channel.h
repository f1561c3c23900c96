#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "ByteSource.h"
#include "Decoder.h"
#include "FrameRing.h"
#include "PlaybackClock.h"
#include "Resampler.h"
#include "Wakeup.h"

namespace bass {

struct OutputFormat {
  int rate = 0;
  int channels = 0;
  std::int64_t bufferFrames = 0;  // frames per device buffer
};

// One stream: its decoder, a feeder thread that decodes and converts ahead of the
// output into a lock-free ring, and the state the control calls change.
//
// Locks, always taken in this order: control_ (one control call at a time),
// decode_ (decoder and conversion; the feeder holds it while it decodes), mix_ (the
// output callback's side: it only ever tries this lock and skips the channel for
// one buffer when a control call holds it for its few instructions).
class Channel {
 public:
  enum State { kStopped = 0, kPlaying = 1, kStalled = 2, kPaused = 3 };

  Channel(std::shared_ptr<ByteSource> source, std::unique_ptr<Decoder> decoder,
          OutputFormat output);
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // False when the stream's format cannot be converted to the output's.
  bool Ready() const { return resampler_.Ready(); }

  bool Play(bool restart);
  bool Pause();
  bool Stop();
  int Activity() const;
  std::int64_t PositionBytes() const;
  bool SetPositionBytes(std::int64_t bytes);
  std::int64_t LengthBytes() const;  // -1 while unknown
  int Rate() const { return rate_; }
  int BytesPerFrame() const { return 2 * channels_; }
  const char* Id3Tag();
  // Writes points/2 magnitudes of the latest points samples heard; bytes or -1.
  std::int64_t Spectrum(float* out, std::size_t points) const;
  bool SetVolume(float volume);
  float Volume() const { return volume_.load(); }
  // Ends the download: whatever waits for it returns at once.
  void Interrupt();
  // Stops the feeder and the download; every control call fails afterwards.
  void Shutdown();

  // Output callback: adds this channel's next frames to mix (interleaved at the
  // output's format) and advances its clock. Never waits.
  void MixInto(float* mix, float* scratch, std::int64_t frames, std::int64_t nowNs);

 private:
  void FeedLoop();
  void Fill();                          // with decode_ held
  void Reposition(std::int64_t frame);  // with decode_ held
  void Unpack(std::int64_t frames);     // pcm_ to samples_, with decode_ held
  void WriteConverted(std::int64_t frames);
  void Freeze();  // with mix_ held: what was handed to the device is what was heard
  std::int64_t HeardFrame() const;
  void Remember(std::int64_t firstFrame, const std::int16_t* pcm, std::int64_t frames);

  const std::shared_ptr<ByteSource> source_;
  const std::unique_ptr<Decoder> decoder_;
  const OutputFormat output_;
  const int rate_;
  const int channels_;
  // Mono is resampled as it is and doubled afterwards; more channels are mixed down
  // to the output's first.
  const int resampleChannels_;
  std::vector<float> leftGain_;
  std::vector<float> rightGain_;

  std::mutex control_;
  bool dead_ = false;
  std::thread feeder_;

  // decode_ guards everything down to mix_.
  mutable std::mutex decode_;
  Resampler resampler_;
  std::int64_t convertedIn_ = 0;   // source frames put since the last reposition
  std::int64_t convertedOut_ = 0;  // output frames taken since then
  std::int64_t expectedOut_ = 0;   // output frames in all, once the decoder is done
  std::int64_t pendingAt_ = 0;     // decoded frames in samples_ not resampled yet
  std::int64_t pendingEnd_ = 0;
  bool decoderDone_ = false;
  std::int64_t actualEnd_ = -1;  // frames, once the decoder has reached the end
  std::vector<std::int16_t> pcm_;
  std::vector<float> samples_;
  std::vector<float> converted_;  // at the resampler's channel count
  std::vector<float> mapped_;     // at the output's

  // mix_ guards the ring's reset and the clock's writer copy.
  std::mutex mix_;
  FrameRing ring_;
  PlaybackClock clock_;
  PlaybackClock::Reading clockState_;

  std::atomic<int> state_{kStopped};
  std::atomic<bool> starved_{false};
  std::atomic<bool> sourceEnded_{false};  // everything is in the ring
  std::atomic<bool> finished_{false};     // and it has all been played
  std::atomic<bool> quit_{false};
  std::atomic<std::int64_t> decodedEnd_{0};
  std::atomic<std::int64_t> lengthFrames_{-1};
  std::atomic<float> volume_{1.0f};
  Wakeup wakeup_;

  // The source-rate mono history behind the spectrum.
  mutable std::mutex historyLock_;
  std::vector<float> history_;
  std::int64_t historyStart_ = 0;
  std::int64_t historyEnd_ = 0;

  std::mutex tagLock_;
  bool tagChecked_ = false;
  std::optional<std::array<char, 129>> tag_;
};

}  // namespace bass
