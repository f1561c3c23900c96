#include "speech/VoiceSettings.h"

#include <charconv>
#include <optional>
#include <string>

namespace {

const Text kSpeedKey = "voice/speed";
const Text kVolumeKey = "voice/volume";
const Text kPitchKey = "voice/pitch";
const Text kVoiceKey = "voice/name";

// The stored number when it is a whole number on the scale.
std::optional<int> OnScale(const Text& stored, VoiceRange range) {
  int value = 0;
  const char* end = stored.data() + stored.size();
  const auto [stop, error] = std::from_chars(stored.data(), end, value);
  if (stored.empty() || error != std::errc() || stop != end || value < range.lowest ||
      value > range.highest)
    return std::nullopt;
  return value;
}

}  // namespace

const std::vector<VoiceChoice>& ReadingVoices() {
  static const std::vector<VoiceChoice> voices = [] {
    std::vector<VoiceChoice> list{{"xiaoyu", "男声（默认）"}};
    for (int i = 1; i <= 8; ++i)
      list.push_back({"male" + std::to_string(i), "男声 " + std::to_string(i)});
    for (int i = 1; i <= 5; ++i)
      list.push_back({"female" + std::to_string(i), "女声 " + std::to_string(i)});
    return list;
  }();
  return voices;
}

StoredVoiceSettings LoadVoiceSettings(Settings& settings) {
  StoredVoiceSettings stored;
  const auto number = [&](const Text& key, const char* label, VoiceRange range, int& value) {
    const Text text = settings.GetSetting(key);
    if (text.empty()) return;
    if (const std::optional<int> found = OnScale(text, range))
      value = *found;
    else
      stored.unusable.push_back({key, text, label});
  };
  number(kSpeedKey, "语速", kSpeedRange, stored.voice.speed);
  number(kVolumeKey, "音量", kVolumeRange, stored.voice.volume);
  number(kPitchKey, "音调", kPitchRange, stored.voice.pitch);
  if (const Text name = settings.GetSetting(kVoiceKey); !name.empty()) {
    bool known = false;
    for (const VoiceChoice& choice : ReadingVoices()) known = known || choice.name == name;
    if (known)
      stored.voice.voice = name;
    else
      stored.unusable.push_back({kVoiceKey, name, "声音"});
  }
  return stored;
}

VoiceSettings ReadingVoiceSettings(Uses<Settings, Processes> services) {
  const StoredVoiceSettings stored = LoadVoiceSettings(services);
  for (const UnusableVoiceSetting& bad : stored.unusable)
    services.Get<Processes>().ReportProblem(
        bad.key + " \"" + bad.value +
        "\" in the settings file cannot be used; the default is used instead");
  return stored.voice;
}

bool SaveVoiceSettings(Settings& settings, const VoiceSettings& voice) {
  bool saved = settings.SetSetting(kSpeedKey, std::to_string(voice.speed));
  saved = settings.SetSetting(kVolumeKey, std::to_string(voice.volume)) && saved;
  saved = settings.SetSetting(kPitchKey, std::to_string(voice.pitch)) && saved;
  return settings.SetSetting(kVoiceKey, voice.voice) && saved;
}
