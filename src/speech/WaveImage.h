#pragma once

#include "framework/Types.h"

// A WAV file held in memory: the 44-byte RIFF header for 16 kHz 16-bit mono PCM,
// then the PCM bytes unchanged. An odd length is kept as it is, without a pad byte.
ByteBuffer BuildWaveImage(const ByteBuffer& pcm);
// The header alone, for pcmBytes of PCM that follow it.
ByteBuffer WaveHeader(std::size_t pcmBytes);
