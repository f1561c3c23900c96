#include "speech/SpokenScript.h"

#include <algorithm>

#include "speech/PieceSynthesis.h"
#include "speech/ScriptClauses.h"

bool SynthesizeSpokenScript(SpeechSession& speech, const Text& script,
                            const std::function<bool()>& keepGoing, SpokenScript& spoken) {
  spoken = SpokenScript();
  std::vector<ScriptClause> clauses = SplitIntoClauses(script);
  // Nothing to say still goes to the engine whole, as a reading always has.
  const bool whole = clauses.empty();
  if (whole) clauses.push_back({0, script.size(), 0});
  int sentence = -1;
  for (const ScriptClause& clause : clauses) {
    const ByteBuffer image =
        SynthesizePiece(speech, script.substr(clause.begin, clause.end - clause.begin), keepGoing);
    if (image.size() < kWaveHeaderBytes) return false;
    const auto begin = static_cast<std::int64_t>(spoken.pcm.size());
    spoken.pcm.insert(spoken.pcm.end(), image.begin() + kWaveHeaderBytes, image.end());
    if (clause.sentence != sentence) {
      spoken.sentences.push_back({clause.begin, clause.end, begin, begin});
      sentence = clause.sentence;
    }
    spoken.sentences.back().textEnd = clause.end;
    spoken.sentences.back().audioEnd = static_cast<std::int64_t>(spoken.pcm.size());
  }
  if (whole) spoken.sentences.clear();
  return true;
}

int SentenceAt(const std::vector<SpokenSentence>& sentences, std::int64_t position) {
  const auto after =
      std::upper_bound(sentences.begin(), sentences.end(), position,
                       [](std::int64_t at, const SpokenSentence& s) { return at < s.audioBegin; });
  return static_cast<int>(after - sentences.begin()) - 1;
}
