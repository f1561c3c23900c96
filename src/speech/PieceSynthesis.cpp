#include "speech/PieceSynthesis.h"

void BeginReadingVoice(SpeechSession& speech) { speech.BeginSession(Text("xiaoyu"), 0, 10, 0); }

ByteBuffer SynthesizePiece(SpeechSession& speech, const Text& text,
                           const std::function<bool()>& keepGoing) {
  BeginReadingVoice(speech);
  speech.PutText(text);
  return speech.ReceiveAudio(keepGoing);
}
