#include "speech/SpokenScript.h"

#include <algorithm>

int SentenceAt(const std::vector<SpokenSentence>& sentences, std::int64_t position) {
  const auto after =
      std::upper_bound(sentences.begin(), sentences.end(), position,
                       [](std::int64_t at, const SpokenSentence& s) { return at < s.audioBegin; });
  return static_cast<int>(after - sentences.begin()) - 1;
}
