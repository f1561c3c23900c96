#pragma once

#include <functional>

#include "framework/Types.h"
#include "speech/SpeechSession.h"
#include "speech/VoiceSettings.h"

// Begins a session with the voice: everything that speaks the script (reading, export,
// the voice settings' sample) goes through here, so all of it sounds alike. The designed
// settings give the designed parameter text; the pitch is sent only when changed.
void BeginReadingVoice(SpeechSession& speech, const VoiceSettings& voice);

// One piece of text in a session of its own with the voice: the WaveImage, or empty
// when the engine failed or keepGoing said stop.
ByteBuffer SynthesizePiece(SpeechSession& speech, const VoiceSettings& voice, const Text& text,
                           const std::function<bool()>& keepGoing);

// The PCM behind a WaveImage.
constexpr std::size_t kWaveHeaderBytes = 44;
