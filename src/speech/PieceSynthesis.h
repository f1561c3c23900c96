#pragma once

#include <functional>

#include "framework/Types.h"
#include "speech/SpeechSession.h"

// The reading voice: everything that speaks the script (reading, export) sounds alike.
void BeginReadingVoice(SpeechSession& speech);

// One piece of text in a session of its own with the reading voice: the WaveImage,
// or empty when the engine failed or keepGoing said stop.
ByteBuffer SynthesizePiece(SpeechSession& speech, const Text& text,
                           const std::function<bool()>& keepGoing);

// The PCM behind a WaveImage.
constexpr std::size_t kWaveHeaderBytes = 44;
