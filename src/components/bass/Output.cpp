#include "Output.h"

#include <SDL.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace bass {
namespace {

constexpr int kChannels = 2;

// About 10 ms: short enough for a quick start and an exact position, long enough
// for the callback's cost not to matter.
int BufferFrames(int rate) {
  int frames = 128;
  while (frames < rate / 100 && frames < 4096) frames *= 2;
  return frames;
}

class SdlOutput : public Output {
 public:
  ~SdlOutput() override {
    if (device_ != 0) SDL_CloseAudioDevice(device_);  // waits for the callback
    if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool Open(int device, int rate) {
    // SIGINT and SIGTERM belong to the host program: SDL would otherwise swallow them
    // and turn them into quit events nobody here reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    initialised_ = true;
    const char* name = nullptr;
    if (device > 0) {
      name = SDL_GetAudioDeviceName(device - 1, 0);
      if (!name) return false;
    }
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = kChannels;
    want.samples = static_cast<Uint16>(BufferFrames(rate));
    want.callback = &SdlOutput::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts if the hardware differs, so that what we
    // write is always the rate the caller asked for.
    device_ = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (device_ == 0) return false;
    format_ = OutputFormat{rate, kChannels, have.samples};
    return true;
  }

  void Start(Mixer& mixer) override {
    mixer_ = &mixer;
    SDL_PauseAudioDevice(device_, 0);
  }

 private:
  static void Callback(void* self, Uint8* stream, int bytes) {
    auto* output = static_cast<SdlOutput*>(self);
    output->mixer_->Render(reinterpret_cast<std::int16_t*>(stream),
                           bytes / (kChannels * static_cast<int>(sizeof(std::int16_t))));
  }

  bool initialised_ = false;
  SDL_AudioDeviceID device_ = 0;
  Mixer* mixer_ = nullptr;
};

// Renders into nothing on a clock, so that positions advance as on a real device.
class SilentOutput : public Output {
 public:
  explicit SilentOutput(int rate) {
    format_ = OutputFormat{rate, kChannels, BufferFrames(rate)};
    buffer_.resize(static_cast<std::size_t>(format_.bufferFrames * kChannels));
  }
  ~SilentOutput() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  void Start(Mixer& mixer) override {
    thread_ = std::thread([this, &mixer] { Run(mixer); });
  }

 private:
  void Run(Mixer& mixer) {
    const auto period = std::chrono::nanoseconds(static_cast<std::int64_t>(format_.bufferFrames) *
                                                 1'000'000'000 / format_.rate);
    auto next = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    while (!stop_) {
      mixer.Render(buffer_.data(), format_.bufferFrames);
      // Woken late (a busy machine), it drops the missed periods, as a device that
      // underruns would, rather than render them at once and run ahead of the clock.
      const auto now = std::chrono::steady_clock::now();
      if (now - next > period) next = now;
      next += period;
      wake_.wait_until(lock, next, [&] { return stop_; });
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::vector<std::int16_t> buffer_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<Output> OpenOutput(int device, int rate) {
  if (device == 0) return std::make_unique<SilentOutput>(rate);
  auto output = std::make_unique<SdlOutput>();
  if (!output->Open(device, rate)) return nullptr;
  return output;
}

}  // namespace bass
