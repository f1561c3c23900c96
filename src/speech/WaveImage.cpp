#include "speech/WaveImage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t kHeaderSize = 44;

void PutTag(std::uint8_t* at, const char (&tag)[5]) { std::memcpy(at, tag, 4); }

void PutLittleEndian(std::uint8_t* at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

ByteBuffer WaveHeader(std::size_t pcmBytes) {
  constexpr std::uint32_t kRate = 16000;
  constexpr std::uint32_t kChannels = 1;
  constexpr std::uint32_t kBits = 16;
  const auto length = static_cast<std::uint32_t>(pcmBytes);
  ByteBuffer image(kHeaderSize);
  std::uint8_t* header = image.data();
  PutTag(header + 0, "RIFF");
  PutLittleEndian(header + 4, length + 36, 4);
  PutTag(header + 8, "WAVE");
  PutTag(header + 12, "fmt ");
  PutLittleEndian(header + 16, 16, 4);
  PutLittleEndian(header + 20, 1, 2);  // PCM
  PutLittleEndian(header + 22, kChannels, 2);
  PutLittleEndian(header + 24, kRate, 4);
  PutLittleEndian(header + 28, kChannels * kRate * kBits / 8, 4);
  PutLittleEndian(header + 32, kChannels * kBits / 8, 2);
  PutLittleEndian(header + 34, kBits, 2);
  PutTag(header + 36, "data");
  PutLittleEndian(header + 40, length, 4);
  return image;
}

ByteBuffer BuildWaveImage(const ByteBuffer& pcm) {
  ByteBuffer image = WaveHeader(pcm.size());
  image.insert(image.end(), pcm.begin(), pcm.end());
  return image;
}
