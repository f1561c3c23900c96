#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/FileSystem.h"
#include "framework/Processes.h"
#include "framework/Settings.h"
#include "framework/Threads.h"
#include "framework/Uses.h"
#include "speech/SpeechSession.h"
#include "speech/SpokenScript.h"
#include "speech/SubtitleCues.h"

// Where the pieces of a script go once made: the reading plays them, the export writes
// them. Called on the thread that runs the pipeline.
class PieceOutlet {
 public:
  virtual ~PieceOutlet() = default;
  // Takes a piece's PCM (16 kHz mono, 16-bit) as soon as it is made; false fails the run.
  virtual bool Take(const std::uint8_t* pcm, std::size_t bytes) = 0;
  // How many bytes of what was taken have been heard; -1 when that cannot be told (the
  // run fails). An outlet that does not play returns all it has taken: it is never ahead.
  virtual std::int64_t Heard() = 0;
  // The sentence being heard (an index into sentences, -1 for none), at every look.
  virtual void Hearing(int /*sentence*/, const std::vector<SpokenSentence>& /*sentences*/) {}
  // After the last piece; false fails the run.
  virtual bool Finish() = 0;
  // Whether everything taken has been heard to its end: the run waits for it.
  virtual bool HeardToTheEnd() { return true; }
};

// Speaks a script piece by piece: cuts it into clauses, synthesises each in an engine
// session of its own with the reading voice (through the pronunciation list), hands its
// PCM to the outlet, keeps at most kAheadBytes ahead of what has been heard, follows the
// sentence being heard and finishes. Where every clause and sentence lies in the audio
// is kept for marks and subtitles. One pipeline is one run: Run on a worker; the
// requests and the progress from any thread.
class PiecePipeline {
 public:
  enum class Outcome { Finished, Stopped, NothingToSay, EngineFailed, OutletFailed };
  // What a run does with a script that holds nothing to speak: the reading hands it to
  // the engine whole, as it always has; the export refuses it.
  enum class Silence { SpeakWhole, Refuse };

  // The engine's PCM: 16 kHz mono 16-bit.
  static constexpr int kSampleRate = 16000;
  static constexpr std::int64_t kBytesPerSecond = 2 * kSampleRate;
  // Synthesis stays at most this far ahead of what has been heard, so a reading holds a
  // few hundred kilobytes whatever the script's length. A clause takes far less than this
  // to make even on a busy machine, so the voice never waits for the next one.
  static constexpr std::int64_t kAheadBytes = 15 * kBytesPerSecond;
  // How often a waiting run looks at what has been heard: the mark follows the voice.
  static constexpr int kLookMilliseconds = 50;

  PiecePipeline(Uses<FileSystem, Threads, Settings, Processes> services, SpeechSession& speech);

  // Stop: the run ends at its next look (the engine is asked between its chunks), makes
  // no further piece and hands nothing more to the outlet. Pause: no further piece is
  // made until continue; what was taken stays. Both hold until the run ends.
  void RequestStop() { request_ = Request::Stop; }
  void RequestPause();
  void RequestContinue();
  bool StopRequested() const { return request_ == Request::Stop; }
  bool PauseRequested() const { return request_ == Request::Pause; }
  // Bytes of the script whose pieces have been made, of all.
  std::size_t ScriptDone() const { return done_; }
  std::size_t ScriptSize() const { return size_; }

  Outcome Run(const Text& script, PieceOutlet& outlet, Silence silence);

  // Where each clause and each sentence is in the audio; on the running thread, or after.
  const std::vector<HeardClause>& Clauses() const { return clauses_; }
  const std::vector<SpokenSentence>& Sentences() const { return sentences_; }

 private:
  enum class Request { Go, Pause, Stop };
  // One look at the outlet: follows the heard sentence; what has been heard (-1: unknown).
  std::int64_t Look(PieceOutlet& outlet);
  // Waits one look's time; false once the run must stop (a request, or the thread's end).
  bool Wait();

  Uses<FileSystem, Threads, Settings, Processes> services_;
  SpeechSession& speech_;
  std::atomic<Request> request_{Request::Go};
  std::atomic<std::size_t> done_{0};
  std::atomic<std::size_t> size_{0};
  std::vector<HeardClause> clauses_;
  std::vector<SpokenSentence> sentences_;
};
