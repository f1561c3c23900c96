#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "framework/Types.h"
#include "speech/SpeechSession.h"

// Where a sentence is in the script and in its audio.
struct SpokenSentence {
  std::size_t textBegin = 0;  // bytes of the script, [textBegin, textEnd)
  std::size_t textEnd = 0;
  std::int64_t audioBegin = 0;  // bytes of the PCM, [audioBegin, audioEnd)
  std::int64_t audioEnd = 0;
};

struct SpokenScript {
  ByteBuffer pcm;  // 16 kHz mono 16-bit
  std::vector<SpokenSentence> sentences;
};

// Synthesises the script clause by clause with the reading voice. False when a piece
// failed or keepGoing said stop (asked between the engine's chunks).
bool SynthesizeSpokenScript(SpeechSession& speech, const Text& script,
                            const std::function<bool()>& keepGoing, SpokenScript& spoken);

// The sentence being heard at that byte of the PCM; -1 before the first one.
int SentenceAt(const std::vector<SpokenSentence>& sentences, std::int64_t position);
