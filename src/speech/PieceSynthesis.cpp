#include "speech/PieceSynthesis.h"

void BeginReadingVoice(SpeechSession& speech, const VoiceSettings& voice) {
  const VoiceSettings designed;
  speech.BeginSession(voice.voice, voice.speed, voice.volume, 0,
                      voice.pitch == designed.pitch ? std::nullopt : std::optional(voice.pitch));
}

ByteBuffer SynthesizePiece(SpeechSession& speech, const VoiceSettings& voice, const Text& text,
                           const std::function<bool()>& keepGoing) {
  BeginReadingVoice(speech, voice);
  speech.PutText(text);
  return speech.ReceiveAudio(keepGoing);
}
