#include "Decoder.h"

#include <cstring>

namespace bass {

std::unique_ptr<Decoder> OpenDecoder(const std::shared_ptr<ByteSource>& source) {
  if (!source) return nullptr;
  char magic[12] = {};
  const bool riff = source->Read(0, magic, sizeof magic) == sizeof magic &&
                    std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WAVE", 4) == 0;
  if (riff) {
    if (auto wav = OpenWavDecoder(source)) return wav;
  }
  return OpenSndfileDecoder(source);
}

}  // namespace bass
