#pragma once

#include "framework/Types.h"
#include "speech/ReadAloud.h"
#include "speech/VoiceSettings.h"

// What "试听" reads: a tutorial's sentence with a Latin word, so that both of the
// voice's runs (Mandarin and English) are heard.
extern const char* const kVoiceSampleText;

// "试听": synthesises the sample with the voice through the reading's engine, its
// pronunciation list and a push stream of the player, as reading does, and plays it;
// a sample still playing is ended first. A reading under way (paused too) is left
// alone: nothing plays. Empty when it plays, else the reason for the dialog to show.
Text PlayVoiceSample(const ReadAloud& reading, const VoiceSettings& voice);
// Ends the sample's sound; nothing when none plays.
void StopVoiceSample(const ReadAloud& reading);
