#pragma once

#include <cstdint>
#include <memory>

#include "ByteSource.h"

namespace bass {

// Turns a stream's encoded bytes into interleaved 16-bit PCM at its own rate.
class Decoder {
 public:
  // Read's answer when a download has not delivered enough bytes yet.
  static constexpr std::int64_t kWaitForData = -1;

  virtual ~Decoder() = default;
  virtual int Rate() const = 0;
  virtual int Channels() const = 0;
  // Total frames; -1 while unknown.
  virtual std::int64_t Frames() const = 0;
  // Decodes up to frames frames into out; 0 at the end of the data.
  virtual std::int64_t Read(std::int16_t* out, std::int64_t frames) = 0;
  // Moves to the frame; false when it is out of reach (not downloaded yet).
  virtual bool Seek(std::int64_t frame) = 0;
};

// The decoder for the data: WAV by our own reader, other formats (and WAV codecs we
// do not read) through libsndfile. Null for data that is not usable audio.
std::unique_ptr<Decoder> OpenDecoder(const std::shared_ptr<ByteSource>& source);

// The formats a stream may have; anything else is refused.
constexpr bool UsableFormat(std::int64_t rate, std::int64_t channels) {
  return rate >= 1000 && rate <= 384000 && channels >= 1 && channels <= 8;
}

std::unique_ptr<Decoder> OpenWavDecoder(const std::shared_ptr<ByteSource>& source);
std::unique_ptr<Decoder> OpenSndfileDecoder(const std::shared_ptr<ByteSource>& source);

}  // namespace bass
