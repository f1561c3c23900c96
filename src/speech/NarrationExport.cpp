#include "speech/NarrationExport.h"

#include <cctype>
#include <cstdio>

#include "framework/TextCodec.h"
#include "speech/PieceSynthesis.h"
#include "speech/Pronunciations.h"
#include "speech/ScriptClauses.h"

namespace {

constexpr int kSampleRate = 16000;

Text LowerExtension(const Text& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == Text::npos || (slash != Text::npos && dot < slash)) return Text();
  Text extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// hh:mm:ss followed by the separator and the milliseconds.
void AppendTime(std::string& out, std::int64_t sample, char separator) {
  const std::int64_t ms = sample * 1000 / kSampleRate;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld%c%03lld",
                static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                static_cast<long long>(ms / 1000 % 60), separator,
                static_cast<long long>(ms % 1000));
  out += buffer;
}

// [mm:ss.xx], minutes counting on past the hour.
void AppendLrcTime(std::string& out, std::int64_t sample) {
  const std::int64_t cs = sample * 100 / kSampleRate;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "[%02lld:%02lld.%02lld]", static_cast<long long>(cs / 6000),
                static_cast<long long>(cs / 100 % 60), static_cast<long long>(cs % 100));
  out += buffer;
}

// The cue's text in UTF-8, its lines joined by newline.
std::string Lines(const NarrationCue& cue, const char* newline) {
  std::string out;
  for (const char c : Utf8FromText(cue.text)) c == '\n' ? out += newline : out += c;
  return out;
}

}  // namespace

NarrationOutcome SynthesizeNarration(SpeechSession& speech, const Text& script,
                                     const NarrationProgress& progress, const NarrationPcm& onPcm,
                                     std::vector<NarrationCue>& cues) {
  const std::vector<ScriptClause> clauses = SplitIntoClauses(script);
  if (clauses.empty()) return NarrationOutcome::NothingToRead;
  bool cancelled = false;
  std::size_t done = 0;
  // Asked between the engine's chunks too, so that cancel never waits for a piece.
  const auto keepGoing = [&] {
    if (!cancelled && progress && !progress(done, script.size())) cancelled = true;
    return !cancelled;
  };
  const Pronunciations pronunciations = LoadPronunciations(speech.Services());
  std::vector<HeardClause> heard;
  std::int64_t samples = 0;
  for (const ScriptClause& clause : clauses) {
    const ByteBuffer image = SynthesizePiece(
        speech, Pronounce(pronunciations, script.substr(clause.begin, clause.end - clause.begin)),
        keepGoing);
    speech.EndSession();
    if (cancelled) return NarrationOutcome::Cancelled;
    if (image.size() < kWaveHeaderBytes) return NarrationOutcome::Failed;
    const std::size_t bytes = (image.size() - kWaveHeaderBytes) & ~std::size_t{1};
    if (!onPcm(image.data() + kWaveHeaderBytes, bytes)) return NarrationOutcome::Failed;
    const auto end = samples + static_cast<std::int64_t>(bytes / 2);
    heard.push_back({clause.begin, samples, end, clause.sentence});
    samples = end;
    done = clause.end;
  }
  cues = LayOutCues(script, heard);
  return NarrationOutcome::Written;
}

ByteBuffer SubtitleBytes(const Text& subtitlePath, const std::vector<NarrationCue>& cues) {
  const Text extension = LowerExtension(subtitlePath);
  std::string out;
  if (extension == ".lrc") {
    // One line per cue; a last empty one marks where the speech ends.
    for (const NarrationCue& cue : cues) {
      AppendLrcTime(out, cue.firstSample);
      out += Lines(cue, " ") + "\r\n";
    }
    if (!cues.empty()) {
      AppendLrcTime(out, cues.back().endSample);
      out += "\r\n";
    }
  } else if (extension == ".vtt") {
    out = "WEBVTT\r\n\r\n";
    for (const NarrationCue& cue : cues) {
      AppendTime(out, cue.firstSample, '.');
      out += " --> ";
      AppendTime(out, cue.endSample, '.');
      out += "\r\n" + Lines(cue, "\r\n") + "\r\n\r\n";
    }
  } else {
    int number = 0;
    for (const NarrationCue& cue : cues) {
      out += std::to_string(++number) + "\r\n";
      AppendTime(out, cue.firstSample, ',');
      out += " --> ";
      AppendTime(out, cue.endSample, ',');
      out += "\r\n" + Lines(cue, "\r\n") + "\r\n\r\n";
    }
  }
  return ByteBuffer(out.begin(), out.end());
}

bool HasAudioExtension(const Text& path) {
  const Text extension = LowerExtension(path);
  return extension == ".wav" || extension == ".flac" || extension == ".ogg" ||
         extension == ".opus" || extension == ".mp3";
}

Text SubtitlePathFor(const Text& audioPath) {
  if (!HasAudioExtension(audioPath)) return audioPath + ".srt";
  return audioPath.substr(0, audioPath.rfind('.')) + ".srt";
}

NarrationOutcome ExportNarration(RuntimeServices& services, SpeechSession& speech,
                                 const Text& script, const Text& audioPath,
                                 const Text& subtitlePath, const NarrationProgress& progress) {
  if (SplitIntoClauses(script).empty()) return NarrationOutcome::NothingToRead;
  const int file = services.OpenAudioFile(audioPath, kSampleRate);
  if (file == 0) return NarrationOutcome::Unwritable;
  std::vector<NarrationCue> cues;
  NarrationOutcome outcome = SynthesizeNarration(
      speech, script, progress,
      [&](const std::uint8_t* pcm, std::size_t bytes) {
        return services.WriteAudioFile(file, pcm, bytes);
      },
      cues);
  if (outcome == NarrationOutcome::Written && !services.CompleteAudioFile(file))
    outcome = NarrationOutcome::Failed;
  // The subtitles before the audio takes its name: audio without them is removed.
  if (outcome == NarrationOutcome::Written &&
      !services.ReplaceFileBytes(subtitlePath, {SubtitleBytes(subtitlePath, cues)}))
    outcome = NarrationOutcome::Failed;
  if (!services.KeepAudioFile(file, outcome == NarrationOutcome::Written))
    outcome = NarrationOutcome::Failed;
  return outcome;
}
