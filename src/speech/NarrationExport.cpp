#include "speech/NarrationExport.h"

#include <cctype>
#include <cstdio>

#include "framework/TextCodec.h"
#include "speech/PieceSynthesis.h"
#include "speech/ScriptClauses.h"
#include "speech/WaveImage.h"

namespace {

constexpr std::int64_t kSampleRate = 16000;
void AppendTime(std::string& out, std::int64_t sample) {
  const std::int64_t ms = sample * 1000 / kSampleRate;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld,%03lld",
                static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
  out += buffer;
}

}  // namespace

NarrationOutcome SynthesizeNarration(SpeechSession& speech, const Text& script,
                                     const NarrationProgress& progress, Narration& narration) {
  const std::vector<ScriptClause> clauses = SplitIntoClauses(script);
  if (clauses.empty()) return NarrationOutcome::NothingToRead;
  narration = Narration();
  bool cancelled = false;
  std::size_t done = 0;
  // Asked between the engine's chunks too, so that cancel never waits for a piece.
  const auto keepGoing = [&] {
    if (!cancelled && progress && !progress(done, script.size())) cancelled = true;
    return !cancelled;
  };
  std::vector<HeardClause> heard;
  for (const ScriptClause& clause : clauses) {
    const ByteBuffer image =
        SynthesizePiece(speech, script.substr(clause.begin, clause.end - clause.begin), keepGoing);
    speech.EndSession();
    if (cancelled) return NarrationOutcome::Cancelled;
    if (image.size() < kWaveHeaderBytes) return NarrationOutcome::Failed;
    const auto first = static_cast<std::int64_t>(narration.pcm.size() / 2);
    narration.pcm.insert(narration.pcm.end(), image.begin() + kWaveHeaderBytes, image.end());
    const auto end = static_cast<std::int64_t>(narration.pcm.size() / 2);
    heard.push_back({clause.begin, first, end, clause.sentence});
    done = clause.end;
  }
  narration.cues = LayOutCues(script, heard);
  return NarrationOutcome::Written;
}

ByteBuffer SubRipBytes(const std::vector<NarrationCue>& cues) {
  std::string out;
  int number = 0;
  for (const NarrationCue& cue : cues) {
    out += std::to_string(++number) + "\r\n";
    AppendTime(out, cue.firstSample);
    out += " --> ";
    AppendTime(out, cue.endSample);
    out += "\r\n";
    for (const char c : Utf8FromText(cue.text)) c == '\n' ? out += "\r\n" : out += c;
    out += "\r\n\r\n";
  }
  return ByteBuffer(out.begin(), out.end());
}

Text SubtitlePathFor(const Text& wavePath) {
  const std::size_t dot = wavePath.rfind('.');
  const std::size_t slash = wavePath.find_last_of("/\\");
  if (dot != Text::npos && (slash == Text::npos || dot > slash)) {
    Text extension = wavePath.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".wav") return wavePath.substr(0, dot) + ".srt";
  }
  return wavePath + ".srt";
}

NarrationOutcome ExportNarration(RuntimeServices& services, SpeechSession& speech,
                                 const Text& script, const Text& wavePath,
                                 const NarrationProgress& progress) {
  Narration narration;
  const NarrationOutcome outcome = SynthesizeNarration(speech, script, progress, narration);
  if (outcome != NarrationOutcome::Written) return outcome;
  // The audio first: a subtitle file without its audio would be of no use.
  std::vector<ByteBuffer> wave;
  wave.push_back(WaveHeader(narration.pcm.size()));
  wave.push_back(std::move(narration.pcm));
  if (!services.ReplaceFileBytes(wavePath, wave)) return NarrationOutcome::Failed;
  if (!services.ReplaceFileBytes(SubtitlePathFor(wavePath), {SubRipBytes(narration.cues)}))
    return NarrationOutcome::Failed;
  return outcome;
}
