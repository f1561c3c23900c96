#include "framework/platform/AudioFileWriter.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <random>

#include "framework/platform/FileProblems.h"
#include "framework/platform/SystemLibrary.h"

namespace {

// libsndfile, opened on the first export (SystemLibrary.h): a start maps none of it nor
// its codecs.
struct Sndfile {
  decltype(&sf_open_fd) open_fd;
  decltype(&sf_command) command;
  decltype(&sf_write_short) write_short;
  decltype(&sf_write_sync) write_sync;
  decltype(&sf_error) error;
  decltype(&sf_close) close;
};

const Sndfile* BoundSndfile() {
  static const std::optional<Sndfile> bound = []() -> std::optional<Sndfile> {
    Sndfile f{};
    const auto bind = [](auto& slot, const char* name) {
      return BindSystemFunction(slot, "libsndfile.so.1", name);
    };
    if (bind(f.open_fd, "sf_open_fd") && bind(f.command, "sf_command") &&
        bind(f.write_short, "sf_write_short") && bind(f.write_sync, "sf_write_sync") &&
        bind(f.error, "sf_error") && bind(f.close, "sf_close"))
      return f;
    return std::nullopt;
  }();
  return bound ? &*bound : nullptr;
}

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

// libsndfile writes its RF64 header's format as WAVE_FORMAT_EXTENSIBLE, and keeps it when
// it falls back to RIFF for a file under 4 GB. Many readers of plain WAV files (Python's
// wave module, older editors) take only WAVE_FORMAT_PCM, which is what 16-bit mono is.
// The 40-byte extensible fmt chunk becomes a 16-byte PCM one and a 16-byte JUNK chunk
// of the same total size, so nothing after it moves.
bool MakePlainPcmHeader(const std::string& path) {
  static constexpr unsigned char kPcmGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                     0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  unsigned char head[12];
  bool changed = false;
  off_t at = 12;
  if (::pread(fd, head, sizeof head, 0) == sizeof head && std::memcmp(head, "RIFF", 4) == 0 &&
      std::memcmp(head + 8, "WAVE", 4) == 0) {
    for (int chunk = 0; chunk < 8; ++chunk) {
      unsigned char header[8];
      if (::pread(fd, header, sizeof header, at) != sizeof header) break;
      const std::uint32_t size = header[4] | header[5] << 8 | header[6] << 16 |
                                 static_cast<std::uint32_t>(header[7]) << 24;
      if (std::memcmp(header, "data", 4) == 0) break;
      if (std::memcmp(header, "fmt ", 4) == 0) {
        unsigned char format[40];
        if (size != sizeof format || ::pread(fd, format, sizeof format, at + 8) != sizeof format)
          break;
        const bool extensiblePcm = format[0] == 0xFE && format[1] == 0xFF && format[24] == 0x01 &&
                                   format[25] == 0x00 &&
                                   std::memcmp(format + 26, kPcmGuidTail, 14) == 0;
        if (!extensiblePcm) break;
        unsigned char plain[48] = {'f', 'm', 't', ' ', 16, 0, 0, 0};
        std::memcpy(plain + 8, format, 16);
        plain[8] = 0x01, plain[9] = 0x00;
        std::memcpy(plain + 24, "JUNK\x10\0\0\0", 8);
        changed = ::pwrite(fd, plain, sizeof plain, at) == sizeof plain && ::fsync(fd) == 0;
        break;
      }
      at += 8 + size + (size & 1);
    }
  }
  ::close(fd);
  return changed;
}

// The encoder gives no reason of its own; the system's, when a write gave one.
bool NoteWriteFailure() {
  if (errno != 0) return NoteErrno();
  NoteFileProblem(FileProblem::Other);
  return false;
}

}  // namespace

struct AudioFileWriter::State {
  std::string path;
  std::string temporary;
  int slot = -1;
  SNDFILE* file = nullptr;
  int format = 0;
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
  NoteFileProblem(FileProblem::None);
  const int format = FormatFor(path);
  if (format == 0) return nullptr;
  if (!BoundSndfile()) {
    NoteFileProblem(FileProblem::Other);
    return nullptr;
  }
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
    if (fd < 0 && errno != EEXIST) {
      NoteErrno();
      return nullptr;
    }
  }
  if (fd < 0) {
    NoteFileProblem(FileProblem::Other);
    return nullptr;
  }
  state->slot = Remember(state->temporary);
  state->format = format;
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = 1;
  info.format = format;
  state->file = BoundSndfile()->open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  if (!state->file) {
    NoteFileProblem(FileProblem::Other);
    ::close(fd);
    ::unlink(state->temporary.c_str());
    Forget(state->slot);
    return nullptr;
  }
  // A plain RIFF WAV unless the data outgrows what its size fields can say.
  if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64)
    BoundSndfile()->command(state->file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  // Speech needs far less than music: a middling quality keeps files small and clear.
  if ((format & SF_FORMAT_TYPEMASK) != SF_FORMAT_RF64 &&
      (format & SF_FORMAT_TYPEMASK) != SF_FORMAT_FLAC) {
    double quality = 0.5;
    BoundSndfile()->command(state->file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
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
    errno = 0;
    if (BoundSndfile()->write_short(state_->file, samples, part) != part) return NoteWriteFailure();
    samples += part;
    count -= static_cast<std::size_t>(part);
  }
  return true;
}

bool AudioFileWriter::Complete() {
  if (!state_->file) return state_->completed;
  errno = 0;
  BoundSndfile()->write_sync(state_->file);
  const bool ok = BoundSndfile()->error(state_->file) == SF_ERR_NO_ERROR;
  state_->completed = BoundSndfile()->close(state_->file) == 0 && ok;
  state_->file = nullptr;
  if (!state_->completed) NoteWriteFailure();
  if (state_->completed && (state_->format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64)
    MakePlainPcmHeader(state_->temporary);
  return state_->completed;
}

bool AudioFileWriter::Keep(bool keep) {
  if (state_->file) {
    BoundSndfile()->close(state_->file);
    state_->file = nullptr;
  }
  bool kept = false;
  if (keep && state_->completed && !state_->settled) {
    // Readable as a new file would be (0666 less the umask); open() gave it that already.
    kept = ::rename(state_->temporary.c_str(), state_->path.c_str()) == 0 || NoteErrno();
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
