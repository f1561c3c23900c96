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

// Synthesises the script clause by clause with the reading voice, handing each piece's
// PCM (16 kHz mono 16-bit) to onPiece as soon as it is made; sentences then place every
// sentence begun so far in the audio (its text whole from its first piece on, its audio
// up to the last piece made). False when a piece failed, keepGoing said stop
// (asked between the engine's chunks) or onPiece returned false.
bool SpeakScript(SpeechSession& speech, const Text& script, const std::function<bool()>& keepGoing,
                 std::vector<SpokenSentence>& sentences,
                 const std::function<bool(const std::uint8_t* pcm, std::size_t bytes)>& onPiece);

// The sentence being heard at that byte of the PCM; -1 before the first one.
int SentenceAt(const std::vector<SpokenSentence>& sentences, std::int64_t position);
