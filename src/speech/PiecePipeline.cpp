#include "speech/PiecePipeline.h"

#include "speech/PieceSynthesis.h"
#include "speech/Pronunciations.h"
#include "speech/ScriptClauses.h"

PiecePipeline::PiecePipeline(Uses<FileSystem, Threads, Settings, Processes> services,
                             SpeechSession& speech)
    : services_(services), speech_(speech) {}

void PiecePipeline::RequestPause() {
  Request go = Request::Go;
  request_.compare_exchange_strong(go, Request::Pause);  // a stop stays a stop
}

void PiecePipeline::RequestContinue() {
  Request pause = Request::Pause;
  request_.compare_exchange_strong(pause, Request::Go);
}

std::int64_t PiecePipeline::Look(PieceOutlet& outlet) {
  const std::int64_t heard = outlet.Heard();
  outlet.Hearing(SentenceAt(sentences_, heard), sentences_);
  return heard;
}

bool PiecePipeline::Wait() {
  // A worker asked to end by its thread's owner (the program's exit) stops as well.
  if (!services_.Get<Threads>().DelayWithEvents(kLookMilliseconds)) RequestStop();
  return !StopRequested();
}

PiecePipeline::Outcome PiecePipeline::Run(const Text& script, PieceOutlet& outlet,
                                          Silence silence) {
  clauses_.clear();
  sentences_.clear();
  done_ = 0;
  size_ = script.size();
  std::vector<ScriptClause> pieces = SplitIntoClauses(script);
  const bool whole = pieces.empty();
  if (whole) {
    if (silence == Silence::Refuse) return Outcome::NothingToSay;
    pieces.push_back({0, script.size(), 0});
  }
  const Pronunciations pronunciations = LoadPronunciations(services_);
  const VoiceSettings voice = ReadingVoiceSettings(services_);
  // The engine is asked between its chunks too, so a stop never waits for a piece.
  const auto keepGoing = [this] { return !StopRequested(); };
  std::int64_t made = 0;  // bytes of PCM taken so far
  int sentence = -1;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const ScriptClause& piece = pieces[i];
    if (StopRequested()) return Outcome::Stopped;
    const ByteBuffer image = SynthesizePiece(
        speech_, voice,
        Pronounce(pronunciations, script.substr(piece.begin, piece.end - piece.begin)), keepGoing);
    speech_.EndSession();  // the engine works for nobody once the piece is made or stopped
    if (StopRequested()) return Outcome::Stopped;
    if (image.size() < kWaveHeaderBytes) return Outcome::EngineFailed;
    const auto bytes =
        static_cast<std::int64_t>((image.size() - kWaveHeaderBytes) & ~std::size_t{1});
    if (!whole) {
      clauses_.push_back({piece.begin, made / 2, (made + bytes) / 2, piece.sentence});
      if (piece.sentence != sentence) {
        // The whole sentence's text from its first piece on: it is marked while its later
        // clauses are still being made.
        std::size_t last = i;
        while (last + 1 < pieces.size() && pieces[last + 1].sentence == piece.sentence) ++last;
        sentences_.push_back({piece.begin, pieces[last].end, made, made});
        sentence = piece.sentence;
      }
      sentences_.back().audioEnd = made + bytes;
    }
    made += bytes;
    if (!outlet.Take(image.data() + kWaveHeaderBytes, static_cast<std::size_t>(bytes)))
      return Outcome::OutletFailed;
    done_ = piece.end;
    // The next piece waits while the listener is far behind, or has paused.
    for (;;) {
      const std::int64_t heard = Look(outlet);
      if (heard < 0) return Outcome::OutletFailed;
      if (!PauseRequested() && made - heard <= kAheadBytes) break;
      if (!Wait()) return Outcome::Stopped;
    }
  }
  if (StopRequested()) return Outcome::Stopped;
  if (!outlet.Finish()) return Outcome::OutletFailed;
  for (;;) {
    Look(outlet);
    if (outlet.HeardToTheEnd()) return Outcome::Finished;
    if (!Wait()) return Outcome::Stopped;
  }
}
