#include "speech/VoiceSample.h"

#include "speech/PieceSynthesis.h"
#include "speech/Pronunciations.h"

const char* const kVoiceSampleText = "欢迎收看本期教程，今天我们一起学习 Git 的基本用法。";

namespace {

constexpr int kSpeechRate = 16000;

}  // namespace

Text PlayVoiceSample(const ReadAloud& reading, const VoiceSettings& voice) {
  ReadAloudState& state = reading.state;
  if (state.worker > 0) return "正在朗读：结束朗读后才能试听。";
  StopVoiceSample(reading);
  AudioPlayer& player = reading.player;
  if (!state.soundDevice) state.soundDevice = player.InitDevice();
  if (!state.soundDevice) return "没有找到可用的声音输出设备，无法试听。";

  // A session of its own: a stopped reading's worker may still be leaving the program's
  // one; the engine takes turns.
  SpeechSession speech(reading.services);
  const Text said = Pronounce(LoadPronunciations(reading.services), kVoiceSampleText);
  const ByteBuffer image = SynthesizePiece(speech, voice, said, nullptr);
  speech.EndSession();
  if (image.size() <= kWaveHeaderBytes) return "语音合成出错，无法试听。";

  player.SetMasterVolume(0.99f);
  const AudioPlayer::Handle stream = player.CreatePushStream(kSpeechRate, 1);
  const std::size_t bytes = (image.size() - kWaveHeaderBytes) & ~std::size_t{1};
  if (stream == 0 || player.PushData(stream, image.data() + kWaveHeaderBytes, bytes, true) < 0 ||
      !player.Play(stream)) {
    if (stream != 0) player.FreeStream(stream);
    return "语音无法播放。";
  }
  state.sample = stream;
  return Text();
}

void StopVoiceSample(const ReadAloud& reading) {
  ReadAloudState& state = reading.state;
  if (state.sample == 0) return;
  reading.player.FreeStream(state.sample);
  state.sample = 0;
}
