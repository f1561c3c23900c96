// WAV files are read here rather than by libsndfile so that a WAV stream can play
// while it is still downloading, a byte range at a time.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "Decoder.h"

namespace bass {
namespace {

constexpr std::int64_t kUnknown = std::numeric_limits<std::int64_t>::max();

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::int16_t FromFloat(double value) {
  if (!(value == value)) return 0;  // NaN
  const double scaled = std::nearbyint(std::clamp(value, -1.0, 1.0) * 32768.0);
  return static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

struct Format {
  int tag = 0;  // 1 integer PCM, 3 float
  int channels = 0;
  int rate = 0;
  int bits = 0;
  int blockAlign = 0;
};

class WavDecoder : public Decoder {
 public:
  WavDecoder(std::shared_ptr<ByteSource> source, Format format, std::int64_t dataStart,
             std::int64_t declared)
      : source_(std::move(source)), format_(format), dataStart_(dataStart), declared_(declared) {}

  int Rate() const override { return format_.rate; }
  int Channels() const override { return format_.channels; }

  std::int64_t Frames() const override {
    const std::int64_t bytes = DataBytes();
    return bytes == kUnknown ? -1 : bytes / format_.blockAlign;
  }

  std::int64_t Read(std::int16_t* out, std::int64_t frames) override {
    const std::int64_t total = Frames();
    std::int64_t want = total < 0 ? frames : std::min(frames, total - frame_);
    if (want <= 0) return 0;
    if (!source_->Complete()) {
      const std::int64_t ready = (source_->Available() - dataStart_) / format_.blockAlign - frame_;
      if (ready <= 0) return kWaitForData;
      want = std::min(want, ready);
    }
    bytes_.resize(static_cast<std::size_t>(want * format_.blockAlign));
    const std::int64_t got = source_->Read(dataStart_ + frame_ * format_.blockAlign, bytes_.data(),
                                           static_cast<std::int64_t>(bytes_.size()));
    const std::int64_t done = got / format_.blockAlign;
    Convert(bytes_.data(), out, done * format_.channels);
    frame_ += done;
    return done;
  }

  bool Seek(std::int64_t frame) override {
    const std::int64_t total = Frames();
    if (frame < 0 || (total >= 0 && frame > total)) return false;
    if (!source_->Complete() && dataStart_ + frame * format_.blockAlign > source_->Available())
      return false;
    frame_ = frame;
    return true;
  }

  // The bytes of sample data, whole frames only; kUnknown while a download of
  // unknown size is running.
  std::int64_t DataBytes() const {
    std::int64_t bytes = declared_;
    const std::int64_t size = source_->Size();
    if (size >= 0) bytes = std::min(bytes, size - dataStart_);
    if (bytes == kUnknown) return bytes;
    return std::max<std::int64_t>(0, bytes) / format_.blockAlign * format_.blockAlign;
  }

 private:
  void Convert(const std::uint8_t* in, std::int16_t* out, std::int64_t samples) const {
    const int width = format_.bits / 8;
    for (std::int64_t i = 0; i < samples; ++i, in += width) {
      if (format_.tag == 3) {
        if (width == 4) {
          float value;
          std::uint32_t raw = Le32(in);
          std::memcpy(&value, &raw, 4);
          out[i] = FromFloat(value);
        } else {
          double value;
          std::uint64_t raw = Le32(in) | (static_cast<std::uint64_t>(Le32(in + 4)) << 32);
          std::memcpy(&value, &raw, 8);
          out[i] = FromFloat(value);
        }
        continue;
      }
      switch (width) {
        case 1:
          out[i] = static_cast<std::int16_t>((in[0] - 128) * 256);
          break;
        default:  // the two most significant bytes of 16, 24 and 32-bit samples
          out[i] = static_cast<std::int16_t>(Le16(in + width - 2));
          break;
      }
    }
  }

  std::shared_ptr<ByteSource> source_;
  Format format_;
  std::int64_t dataStart_;
  std::int64_t declared_;
  std::int64_t frame_ = 0;
  std::vector<std::uint8_t> bytes_;
};

bool ReadFormat(const std::uint8_t* chunk, std::uint32_t size, Format& format) {
  if (size < 16) return false;
  format.tag = Le16(chunk);
  format.channels = Le16(chunk + 2);
  format.rate = static_cast<int>(std::min<std::uint32_t>(Le32(chunk + 4), 1u << 30));
  format.blockAlign = Le16(chunk + 12);
  format.bits = Le16(chunk + 14);
  if (format.tag == 0xFFFE) {  // WAVE_FORMAT_EXTENSIBLE: the sub-format's first two bytes
    if (size < 40) return false;
    format.tag = Le16(chunk + 24);
  }
  const bool pcm = format.tag == 1 && (format.bits == 8 || format.bits == 16 || format.bits == 24 ||
                                       format.bits == 32);
  const bool real = format.tag == 3 && (format.bits == 32 || format.bits == 64);
  return (pcm || real) && UsableFormat(format.rate, format.channels) &&
         format.blockAlign == format.channels * format.bits / 8;
}

}  // namespace

std::unique_ptr<Decoder> OpenWavDecoder(const std::shared_ptr<ByteSource>& source) {
  std::uint8_t header[12];
  if (source->Read(0, header, 12) != 12 || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0)
    return nullptr;
  Format format;
  bool haveFormat = false;
  std::int64_t pos = 12;
  for (int chunks = 0; chunks < 64; ++chunks) {
    std::uint8_t head[8];
    if (source->Read(pos, head, 8) != 8) return nullptr;
    const std::uint32_t size = Le32(head + 4);
    if (std::memcmp(head, "fmt ", 4) == 0) {
      std::uint8_t body[40] = {};
      const std::int64_t want = std::min<std::uint32_t>(size, sizeof body);
      if (source->Read(pos + 8, body, want) != want || !ReadFormat(body, size, format))
        return nullptr;
      haveFormat = true;
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (!haveFormat || size == 0) return nullptr;
      const std::int64_t declared = size == 0xFFFFFFFFu ? kUnknown : size;
      auto decoder = std::make_unique<WavDecoder>(source, format, pos + 8, declared);
      // Truncated before the first whole frame: nothing to play.
      if (source->Complete() && decoder->DataBytes() < format.blockAlign) return nullptr;
      return decoder;
    }
    pos += 8 + static_cast<std::int64_t>(size) + (size & 1);
  }
  return nullptr;
}

}  // namespace bass
