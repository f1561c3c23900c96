#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Where a sentence is in the script and in its audio.
struct SpokenSentence {
  std::size_t textBegin = 0;  // bytes of the script, [textBegin, textEnd)
  std::size_t textEnd = 0;
  std::int64_t audioBegin = 0;  // bytes of the PCM, [audioBegin, audioEnd)
  std::int64_t audioEnd = 0;
};

// The sentence being heard at that byte of the PCM; -1 before the first one.
int SentenceAt(const std::vector<SpokenSentence>& sentences, std::int64_t position);
