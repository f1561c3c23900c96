#include "app/VoiceSettingsHandler.h"

#include "speech/VoiceSample.h"
#include "speech/VoiceSettings.h"

namespace {

int VoiceIndex(const Text& name) {
  const std::vector<VoiceChoice>& voices = ReadingVoices();
  for (std::size_t i = 0; i < voices.size(); ++i)
    if (voices[i].name == name) return static_cast<int>(i);
  return 0;
}

VoiceDialogValues DialogValues(const VoiceSettings& voice) {
  return {voice.speed, voice.volume, voice.pitch, VoiceIndex(voice.voice)};
}

VoiceSettings SettingsFrom(const VoiceDialogValues& values) {
  const std::vector<VoiceChoice>& voices = ReadingVoices();
  VoiceSettings voice;
  voice.speed = values.speed;
  voice.volume = values.volume;
  voice.pitch = values.pitch;
  if (values.voice >= 0 && values.voice < static_cast<int>(voices.size()))
    voice.voice = voices[values.voice].name;
  return voice;
}

}  // namespace

void VoiceSettingsClicked(Program& program) {
  RuntimeServices& services = program.services;
  const StoredVoiceSettings stored = LoadVoiceSettings(services);
  VoiceDialogSetup setup;
  setup.speed = {kSpeedRange.lowest, kSpeedRange.highest};
  setup.volume = {kVolumeRange.lowest, kVolumeRange.highest};
  setup.pitch = {kPitchRange.lowest, kPitchRange.highest};
  for (const VoiceChoice& choice : ReadingVoices()) setup.voices.push_back(choice.label);
  setup.designed = DialogValues(VoiceSettings());
  setup.current = DialogValues(stored.voice);
  if (!stored.unusable.empty()) {
    setup.note = "设置文件中这些值无法使用，已换成默认值：";
    for (std::size_t i = 0; i < stored.unusable.size(); ++i)
      setup.note +=
          (i ? "，" : "") + stored.unusable[i].label + "“" + stored.unusable[i].value + "”";
    setup.note += "。";
  }

  const ReadAloud reading = program.Reading();
  const std::optional<VoiceDialogValues> chosen =
      services.ShowVoiceDialog(setup, [&](const VoiceDialogValues& values) {
        return PlayVoiceSample(reading, SettingsFrom(values));
      });
  StopVoiceSample(reading);
  if (chosen && !SaveVoiceSettings(services, SettingsFrom(*chosen)))
    services.ShowMessageBox(Text("语音设置未能保存：设置文件无法写入。"), kMbIconStop | kMbOk,
                            Text("语音设置"));
}
