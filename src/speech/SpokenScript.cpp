#include "speech/SpokenScript.h"

#include <algorithm>

#include "speech/PieceSynthesis.h"
#include "speech/Pronunciations.h"
#include "speech/ScriptClauses.h"

bool SpeakScript(SpeechSession& speech, const Text& script, const std::function<bool()>& keepGoing,
                 std::vector<SpokenSentence>& sentences,
                 const std::function<bool(const std::uint8_t* pcm, std::size_t bytes)>& onPiece) {
  sentences.clear();
  std::vector<ScriptClause> clauses = SplitIntoClauses(script);
  // Nothing to say still goes to the engine whole, as a reading always has.
  const bool whole = clauses.empty();
  if (whole) clauses.push_back({0, script.size(), 0});
  const Pronunciations pronunciations = LoadPronunciations(speech.Services());
  std::int64_t made = 0;  // bytes of PCM so far
  int sentence = -1;
  for (std::size_t i = 0; i < clauses.size(); ++i) {
    const ScriptClause& clause = clauses[i];
    const ByteBuffer image = SynthesizePiece(
        speech, Pronounce(pronunciations, script.substr(clause.begin, clause.end - clause.begin)),
        keepGoing);
    if (image.size() < kWaveHeaderBytes) return false;
    const std::size_t bytes = image.size() - kWaveHeaderBytes;
    if (!whole) {
      if (clause.sentence != sentence) {
        // The whole sentence's text from its first piece on: it is marked while its
        // later clauses are still being made.
        std::size_t last = i;
        while (last + 1 < clauses.size() && clauses[last + 1].sentence == clause.sentence) ++last;
        sentences.push_back({clause.begin, clauses[last].end, made, made});
        sentence = clause.sentence;
      }
      sentences.back().audioEnd = made + static_cast<std::int64_t>(bytes);
    }
    made += static_cast<std::int64_t>(bytes);
    if (!onPiece(image.data() + kWaveHeaderBytes, bytes)) return false;
  }
  return true;
}

int SentenceAt(const std::vector<SpokenSentence>& sentences, std::int64_t position) {
  const auto after =
      std::upper_bound(sentences.begin(), sentences.end(), position,
                       [](std::int64_t at, const SpokenSentence& s) { return at < s.audioBegin; });
  return static_cast<int>(after - sentences.begin()) - 1;
}
