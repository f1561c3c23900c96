#include "framework/platform/AudioFileWriter.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstring>
#include <random>

namespace {

// Names of temporary files still unfinished, for a signal handler to remove: fixed slots
// so that the handler needs no allocation or lock.
constexpr std::size_t kSlots = 8;
constexpr std::size_t kPathBytes = 4096;
struct Slot {
  std::atomic<bool> used{false};
  char path[kPathBytes] = {};
};
std::array<Slot, kSlots> unfinished;

int Remember(const std::string& path) {
  if (path.size() >= kPathBytes) return -1;
  for (std::size_t i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (unfinished[i].used.load() || !unfinished[i].used.compare_exchange_strong(expected, true))
      continue;
    std::memcpy(unfinished[i].path, path.c_str(), path.size() + 1);
    return static_cast<int>(i);
  }
  return -1;
}

void Forget(int slot) {
  if (slot >= 0) unfinished[static_cast<std::size_t>(slot)].used = false;
}

std::string Extension(const std::string& path) {
  const auto dot = path.rfind('.');
  const auto slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

}  // namespace

struct AudioFileWriter::State {
  std::string path;
  std::string temporary;
  int slot = -1;
  SNDFILE* file = nullptr;
  bool completed = false;
  bool settled = false;
};

int AudioFileWriter::FormatFor(const std::string& path) {
  const std::string extension = Extension(path);
  if (extension == "wav") return SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
  if (extension == "flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  if (extension == "ogg") return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  if (extension == "opus") return SF_FORMAT_OGG | SF_FORMAT_OPUS;
  if (extension == "mp3") return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
  return 0;
}

std::unique_ptr<AudioFileWriter> AudioFileWriter::Open(const std::string& path, int sampleRate) {
  const int format = FormatFor(path);
  if (format == 0) return nullptr;
  auto state = std::make_unique<State>();
  state->path = path;
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::random_device seed;
  std::mt19937 random(seed());
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    state->temporary = folder + "/." + name + ".tmp-" + std::to_string(random());
    fd = ::open(state->temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return nullptr;
  }
  if (fd < 0) return nullptr;
  state->slot = Remember(state->temporary);
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = 1;
  info.format = format;
  state->file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  if (!state->file) {
    ::close(fd);
    ::unlink(state->temporary.c_str());
    Forget(state->slot);
    return nullptr;
  }
  // A plain RIFF WAV unless the data outgrows what its size fields can say.
  if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64)
    sf_command(state->file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  // Speech needs far less than music: a middling quality keeps files small and clear.
  if ((format & SF_FORMAT_TYPEMASK) != SF_FORMAT_RF64 &&
      (format & SF_FORMAT_TYPEMASK) != SF_FORMAT_FLAC) {
    double quality = 0.5;
    sf_command(state->file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
  }
  return std::unique_ptr<AudioFileWriter>(new AudioFileWriter(std::move(state)));
}

AudioFileWriter::AudioFileWriter(std::unique_ptr<State> state) : state_(std::move(state)) {}

AudioFileWriter::~AudioFileWriter() {
  if (!state_->settled) Keep(false);
}

bool AudioFileWriter::Write(const std::int16_t* samples, std::size_t count) {
  if (!state_->file) return false;
  while (count > 0) {
    const sf_count_t part = static_cast<sf_count_t>(std::min<std::size_t>(count, 1 << 20));
    if (sf_write_short(state_->file, samples, part) != part) return false;
    samples += part;
    count -= static_cast<std::size_t>(part);
  }
  return true;
}

bool AudioFileWriter::Complete() {
  if (!state_->file) return state_->completed;
  sf_write_sync(state_->file);
  const bool ok = sf_error(state_->file) == SF_ERR_NO_ERROR;
  state_->completed = sf_close(state_->file) == 0 && ok;
  state_->file = nullptr;
  return state_->completed;
}

bool AudioFileWriter::Keep(bool keep) {
  if (state_->file) {
    sf_close(state_->file);
    state_->file = nullptr;
  }
  bool kept = false;
  if (keep && state_->completed && !state_->settled) {
    // Readable as a new file would be (0666 less the umask); open() gave it that already.
    kept = ::rename(state_->temporary.c_str(), state_->path.c_str()) == 0;
  }
  if (!kept && !state_->settled) ::unlink(state_->temporary.c_str());
  Forget(state_->slot);
  state_->settled = true;
  return kept || !keep;
}

void RemoveUnfinishedAudioFiles() {
  for (Slot& slot : unfinished)
    if (slot.used.load()) ::unlink(slot.path);
}
