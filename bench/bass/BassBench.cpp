// Measures bass.dll at real pace on SDL's disk driver: CPU for one and for eight
// 16 kHz streams played at 44.1 kHz (against one 44.1 kHz stream, which is not
// resampled), the time from BASS_ChannelPlay to the first sample handed to the
// device, BASS_ChannelGetPosition against the samples handed to the device, and the
// time to open a 10-minute Ogg Vorbis and MP3 file against a 1-second one.
//
// The disk driver hands each device buffer over with fwrite. This program defines
// its own fwrite (exported, so it takes libc's place for SDL too) to see every
// buffer the moment it is written.
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "components/bass/bass.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDeviceRate = 44100;
constexpr double kBufferMs = 512 * 1000.0 / kDeviceRate;  // the library's buffer at 44.1 kHz

std::atomic<std::int64_t> framesWritten{0};  // device frames handed over so far
std::atomic<bool> watching{false};           // looking for the first sounding sample
std::atomic<std::int64_t> firstSoundNs{0};
std::atomic<std::int64_t> firstSoundFrame{0};

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

std::vector<std::uint8_t> WaveImage(double seconds, bool tone, std::uint32_t rate = 16000) {
  const auto frames = static_cast<std::uint32_t>(seconds * rate);
  std::vector<std::uint8_t> image(44 + 2 * std::size_t{frames});
  auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  std::copy_n("RIFF", 4, image.begin());
  put(4, 36 + 2 * frames, 4);
  std::copy_n("WAVEfmt ", 8, image.begin() + 8);
  put(16, 16, 4);
  put(20, 1, 2);
  put(22, 1, 2);
  put(24, rate, 4);
  put(28, 2 * rate, 4);
  put(32, 2, 2);
  put(34, 16, 2);
  std::copy_n("data", 4, image.begin() + 36);
  put(40, 2 * frames, 4);
  std::mt19937 random(7);
  for (std::uint32_t i = 0; i < frames; ++i) {
    const int sample = tone ? static_cast<int>(8000 * std::sin(i * 2 * M_PI * 440 / rate))
                            : 1000 + static_cast<int>(random() % 9000);
    put(44 + 2 * std::size_t{i}, static_cast<std::uint16_t>(sample), 2);
  }
  return image;
}

bool OpenDevice() {
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  ::unsetenv("SDL_DISKAUDIODELAY");  // real pace
  return BASS_Init(-1, kDeviceRate, 0, nullptr, nullptr) != FALSE;
}

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double CpuPercent(int streams, double seconds, std::uint32_t rate = 16000) {
  if (!OpenDevice()) return -1;
  const std::vector<std::uint8_t> image = WaveImage(seconds + 3, true, rate);
  std::vector<HSTREAM> handles;
  for (int i = 0; i < streams; ++i) {
    handles.push_back(BASS_StreamCreateFile(TRUE, image.data(), 0, image.size(), 0));
    BASS_ChannelPlay(handles.back(), FALSE);
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double cpu = CpuSeconds();
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double used = CpuSeconds() - cpu;
  for (HSTREAM handle : handles)
    if (BASS_ChannelIsActive(handle) != BASS_ACTIVE_PLAYING)
      std::printf("  (a stream stopped early)\n");
  BASS_Free();
  return 100.0 * used / wall;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * (values.size() - 1))];
}

void StartLatency(int trials) {
  if (!OpenDevice()) return;
  const std::vector<std::uint8_t> image = WaveImage(1, false);
  std::mt19937 random(11);
  std::vector<double> ms;
  for (int i = 0; i < trials; ++i) {
    const HSTREAM stream = BASS_StreamCreateFile(TRUE, image.data(), 0, image.size(), 0);
    // A random point within the device's buffer cycle.
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 23000));
    firstSoundNs = 0;
    watching = true;
    const std::int64_t start = NowNs();
    BASS_ChannelPlay(stream, FALSE);
    const auto limit = Clock::now() + std::chrono::seconds(2);
    while (firstSoundNs == 0 && Clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    watching = false;
    if (firstSoundNs != 0) ms.push_back((firstSoundNs - start) / 1e6);
    BASS_StreamFree(stream);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  BASS_Free();
  if (ms.empty()) return;
  std::printf(
      "play → first sample written   median %.2f ms, 90%% %.2f ms, max %.2f ms "
      "(%zu plays; one device buffer is %.2f ms)\n",
      Percentile(ms, 0.5), Percentile(ms, 0.9), Percentile(ms, 1.0), ms.size(), kBufferMs);
}

void PositionError(double seconds) {
  if (!OpenDevice()) return;
  const std::vector<std::uint8_t> image = WaveImage(seconds + 2, false);
  const HSTREAM stream = BASS_StreamCreateFile(TRUE, image.data(), 0, image.size(), 0);
  firstSoundNs = 0;
  watching = true;
  BASS_ChannelPlay(stream, FALSE);
  while (firstSoundNs == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
  std::mt19937 random(13);
  std::vector<double> errors;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 9000));
    const std::int64_t before = framesWritten;
    const QWORD position = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
    if (framesWritten != before) continue;  // a buffer went out meanwhile: sample again
    const double reached = (before - firstSoundFrame) * 1000.0 / kDeviceRate;
    const double heard = (position / 2) * 1000.0 / 16000;
    errors.push_back(heard - reached);
  }
  BASS_Free();
  double sum = 0, worst = 0;
  for (double e : errors) {
    sum += e;
    worst = std::max(worst, std::fabs(e));
  }
  std::printf(
      "position − samples at device  mean %+.2f ms, min %+.2f ms, max %+.2f ms, "
      "largest |error| %.2f ms (%zu readings)\n",
      sum / errors.size(), *std::min_element(errors.begin(), errors.end()),
      *std::max_element(errors.begin(), errors.end()), worst, errors.size());
}

double MedianOpenMs(const std::string& path, int runs) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (stream == 0) return -1;
    BASS_StreamFree(stream);
  }
  return Percentile(ms, 0.5);
}

// Files made by sox and lame from a tone with noise, 10 minutes and 1 second long.
void OpenTimes() {
  char folder[] = "/tmp/bass-bench-XXXXXX";
  if (!::mkdtemp(folder)) return;
  const std::string dir = folder;
  bool made = true;
  for (const char* length : {"600", "1"}) {
    const std::string wav = dir + "/" + length + ".wav";
    made = made &&
           std::system(("sox -n -r 22050 -c 1 -b 16 " + wav + " synth " + length +
                        " sine 440 whitenoise vol 0.3 && sox " + wav + " " + dir + "/" + length +
                        ".ogg && lame --quiet " + wav + " " + dir + "/" + length + ".mp3")
                           .c_str()) == 0;
  }
  if (made && OpenDevice()) {
    for (const char* type : {"ogg", "mp3"}) {
      const std::string name = std::string("/") + type;
      MedianOpenMs(dir + "/1." + type, 3);  // warm caches
      const double longOne = MedianOpenMs(dir + "/600." + type, 9);
      const double shortOne = MedianOpenMs(dir + "/1." + type, 9);
      std::printf("open a .%s file         10 minutes %.2f ms, 1 second %.2f ms, ratio %.2f\n",
                  type, longOne, shortOne, longOne / shortOne);
    }
    BASS_Free();
  } else {
    std::printf("open times: sox or lame failed\n");
  }
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace

// SDL's disk driver writes each device buffer with this.
extern "C" std::size_t fwrite(const void* data, std::size_t size, std::size_t count, FILE* file) {
  using Fwrite = std::size_t(const void*, std::size_t, std::size_t, FILE*);
  static Fwrite* const real = reinterpret_cast<Fwrite*>(::dlsym(RTLD_NEXT, "fwrite"));
  const std::size_t written = real(data, size, count, file);
  if (file != stdout && file != stderr && (size * count) % 4 == 0) {
    const auto* samples = static_cast<const std::int16_t*>(data);
    const std::int64_t frames = static_cast<std::int64_t>(size * count / 4);
    if (watching && firstSoundNs == 0) {
      for (std::int64_t i = 0; i < 2 * frames; ++i) {
        if (samples[i] != 0) {
          firstSoundFrame = framesWritten + i / 2;
          firstSoundNs = NowNs();
          watching = false;
          break;
        }
      }
    }
    framesWritten += frames;
  }
  return written;
}

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  std::printf("bass.dll on SDL's disk driver at %d Hz, real pace\n", kDeviceRate);
  const double idle = CpuPercent(0, seconds);
  const double one = CpuPercent(1, seconds);
  const double eight = CpuPercent(8, seconds);
  const double same = CpuPercent(1, seconds, kDeviceRate);
  std::printf(
      "CPU, %% of one core over %.0f s   device idle %.2f, one 16 kHz stream %.2f, "
      "eight %.2f (streams alone: %.2f and %.2f); one 44.1 kHz stream, not resampled, "
      "%.2f (alone %.2f)\n",
      seconds, idle, one, eight, one - idle, eight - idle, same, same - idle);
  StartLatency(40);
  PositionError(seconds / 2);
  OpenTimes();
  return 0;
}
