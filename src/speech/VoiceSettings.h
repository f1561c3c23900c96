#pragma once

#include <vector>

#include "framework/Processes.h"
#include "framework/Settings.h"
#include "framework/Types.h"
#include "framework/Uses.h"

// How the script is spoken: the engine's speed, volume and pitch scales and the voice's
// engine name. The defaults are the program's designed voice; with them the engine gets
// exactly the designed parameter text (no pitch in it).
struct VoiceSettings {
  int speed = 4;
  int volume = 10;
  int pitch = 5;
  Text voice = "xiaoyu";
  friend bool operator==(const VoiceSettings&, const VoiceSettings&) = default;
};

struct VoiceRange {
  int lowest;
  int highest;
};
// Speed and volume 0 would mean "the engine's default", so the scales start at 1.
inline constexpr VoiceRange kSpeedRange{1, 10};
inline constexpr VoiceRange kVolumeRange{1, 10};
inline constexpr VoiceRange kPitchRange{0, 10};

// A voice the engine offers: its name in the session parameters and what the user sees.
struct VoiceChoice {
  Text name;
  Text label;
};
// The Mandarin voice itself (male, the designed one), then its male and female variants.
const std::vector<VoiceChoice>& ReadingVoices();

// A stored value that could not be used: the default stands in for it.
struct UnusableVoiceSetting {
  Text key;    // "voice/speed"
  Text value;  // as stored
  Text label;  // "语速"
};

struct StoredVoiceSettings {
  VoiceSettings voice;
  std::vector<UnusableVoiceSetting> unusable;
};

// The settings under voice/speed, voice/volume, voice/pitch and voice/name. A missing
// value is the default; one that is not a whole number on its scale, or not a voice of
// ReadingVoices, is the default too and listed in unusable.
StoredVoiceSettings LoadVoiceSettings(Settings& settings);
// What reading and export speak with: the stored settings, each unusable value told on
// standard error.
VoiceSettings ReadingVoiceSettings(Uses<Settings, Processes> services);
// Stores all four values; false when the settings file could not be written.
bool SaveVoiceSettings(Settings& settings, const VoiceSettings& voice);
