// libFuzzer target of bass.dll: any bytes as a memory stream, opened, partly decoded, freed.
#include <cstddef>
#include <cstdint>

#include "components/bass/bass.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr) != FALSE;
  if (!ready) return 0;
  const HSTREAM stream = BASS_StreamCreateFile(TRUE, data, 0, size, 0);
  if (stream == 0) return 0;
  const QWORD length = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
  BASS_ChannelGetTags(stream, BASS_TAG_ID3);
  BASS_ChannelPlay(stream, FALSE);  // decodes the start at once
  if (length != ~QWORD{0}) BASS_ChannelSetPosition(stream, length / 2, BASS_POS_BYTE);
  float spectrum[128];
  BASS_ChannelGetData(stream, spectrum, BASS_DATA_FFT256);
  BASS_StreamFree(stream);
  return 0;
}
