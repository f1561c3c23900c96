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

namespace {

// The export's outlet: every piece goes to the audio file as it is made.
class WrittenPieces : public PieceOutlet {
 public:
  WrittenPieces(AudioFiles& audioFiles, int file) : audioFiles_(audioFiles), file_(file) {}
  bool Take(const std::uint8_t* pcm, std::size_t bytes) override {
    written_ += static_cast<std::int64_t>(bytes);
    return audioFiles_.WriteAudioFile(file_, pcm, bytes);
  }
  std::int64_t Heard() override { return written_; }  // nothing to wait for
  bool Finish() override { return audioFiles_.CompleteAudioFile(file_); }

 private:
  AudioFiles& audioFiles_;
  int file_;
  std::int64_t written_ = 0;
};

constexpr int kWatchMilliseconds = 50;

}  // namespace

NarrationOutcome ExportNarration(Uses<FileSystem, AudioFiles> services, PiecePipeline& pieces,
                                 const Text& script, const Text& audioPath,
                                 const Text& subtitlePath) {
  if (SplitIntoClauses(script).empty()) return NarrationOutcome::NothingToRead;
  auto& audioFiles = services.Get<AudioFiles>();
  const int file = audioFiles.OpenAudioFile(audioPath, kSampleRate);
  if (file == 0) return NarrationOutcome::Unwritable;
  WrittenPieces written(audioFiles, file);
  NarrationOutcome outcome;
  switch (pieces.Run(script, written, PiecePipeline::Silence::Refuse)) {
    case PiecePipeline::Outcome::Finished:
      outcome = NarrationOutcome::Written;
      break;
    case PiecePipeline::Outcome::Stopped:
      outcome = NarrationOutcome::Cancelled;
      break;
    case PiecePipeline::Outcome::NothingToSay:
      outcome = NarrationOutcome::NothingToRead;
      break;
    default:
      outcome = NarrationOutcome::Failed;
  }
  // The subtitles before the audio takes its name: audio without them is removed.
  if (outcome == NarrationOutcome::Written &&
      !services.Get<FileSystem>().ReplaceFileBytes(
          subtitlePath, {SubtitleBytes(subtitlePath, LayOutCues(script, pieces.Clauses()))}))
    outcome = NarrationOutcome::Failed;
  if (!audioFiles.KeepAudioFile(file, outcome == NarrationOutcome::Written))
    outcome = NarrationOutcome::Failed;
  return outcome;
}

NarrationOutcome ExportNarrationOnWorker(Uses<FileSystem, Threads, AudioFiles> services,
                                         const std::shared_ptr<NarrationJob>& job,
                                         const Text& script, const Text& audioPath,
                                         const Text& subtitlePath,
                                         const std::function<bool(int percent)>& watch) {
  auto outcome = std::make_shared<NarrationOutcome>(NarrationOutcome::Failed);
  auto& threads = services.Get<Threads>();
  // The worker keeps its own copy of the roles.
  const bool started = threads.StartThread(
      [services, job, outcome, script, audioPath, subtitlePath](int) {
        *outcome = ExportNarration(services, job->pieces, script, audioPath, subtitlePath);
        // The reason is kept per thread: only this worker can ask for it.
        if (*outcome == NarrationOutcome::Unwritable || *outcome == NarrationOutcome::Failed)
          job->problem = services.Get<FileSystem>().LastFileProblem();
        job->ended = true;
      },
      0, nullptr);
  if (!started) return NarrationOutcome::Failed;
  while (!job->ended) {
    // Once synthesis has begun (the audio file could be made): how far it has got.
    const std::size_t size = job->pieces.ScriptSize();
    if (size > 0 && !job->pieces.StopRequested() &&
        !watch(static_cast<int>(job->pieces.ScriptDone() * 100 / size)))
      job->pieces.RequestStop();
    threads.DelayWithEvents(kWatchMilliseconds);
  }
  return *outcome;
}
