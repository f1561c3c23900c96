#include "speech/PiecePipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "support/FakeRuntimeServices.h"
#include "support/ProgramFolder.h"

namespace {

using Outcome = PiecePipeline::Outcome;
using Silence = PiecePipeline::Silence;

// A listener the test steers: it takes what it is given and has heard what the test says
// (everything, unless told otherwise).
class Listener : public PieceOutlet {
 public:
  static constexpr std::int64_t kEverything = -2;
  bool Take(const std::uint8_t*, std::size_t bytes) override {
    std::lock_guard lock(mutex_);
    taken_ += static_cast<std::int64_t>(bytes);
    return !refuse;
  }
  std::int64_t Heard() override {
    const std::int64_t at = heard;
    return at == kEverything ? Taken() : at;
  }
  bool Finish() override { return finished = true; }
  bool HeardToTheEnd() override { return Heard() >= Taken(); }
  std::int64_t Taken() {
    std::lock_guard lock(mutex_);
    return taken_;
  }

  std::atomic<std::int64_t> heard{kEverything};
  std::atomic<bool> refuse{false};
  std::atomic<bool> finished{false};

 private:
  std::mutex mutex_;
  std::int64_t taken_ = 0;
};

// The pipeline on a worker of the fake, with the recording engine in the program's folder.
class PiecePipelineTest : public ::testing::Test {
 protected:
  template <typename Function>
  Function* Recorder(const char* name) {
    return reinterpret_cast<Function*>(services.LibraryFunctionAddress("msc.dll", name));
  }
  void SetUp() override { Recorder<void()>("RecorderReset")(); }
  void TearDown() override {
    pieces.RequestStop();
    Recorder<void()>("RecorderRelease")();
    EXPECT_TRUE(services.WaitForThread(worker));
  }
  void Queue(unsigned bytes, int error = 0) {
    static const std::vector<std::uint8_t> pcm(1 << 20, 0x11);
    Recorder<void(const void*, unsigned, int, int)>("RecorderQueueAudio")(pcm.data(), bytes, 2,
                                                                          error);
  }
  void Start(const Text& script, Silence silence = Silence::Refuse) {
    services.StartThread(
        [this, script, silence](int) { outcome = pieces.Run(script, listener, silence); }, 0,
        &worker);
  }
  Outcome Finish() {
    EXPECT_TRUE(services.WaitForThread(worker));
    return outcome;
  }
  std::vector<std::string> TextsPut() {
    std::vector<std::string> texts;
    for (int i = 0; i < Recorder<int()>("RecorderCallCount")(); ++i) {
      const std::string call = Recorder<const char*(int)>("RecorderCall")(i);
      if (call.starts_with("QTTSTextPut|")) texts.push_back(call.substr(call.find('|', 12) + 1));
    }
    return texts;
  }
  // The run goes round its wait a few more times: what it would have done by now, it has.
  bool WaitsOn() {
    const std::size_t delays = services.Delays().size();
    for (int i = 0; i < 1000 && services.Delays().size() < delays + 3; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return services.Delays().size() >= delays + 3;
  }

  FakeRuntimeServices services;
  ProgramFolder folder{services};
  SpeechSession speech{services};
  PiecePipeline pieces{services, speech};
  Listener listener;
  Outcome outcome = Outcome::Stopped;
  int worker = 0;
};

TEST_F(PiecePipelineTest, EveryClauseIsSpokenInOrderAndPlacedInTheAudio) {
  const Text script = "第一句，还有。第二句。";
  Queue(1000);
  Queue(2000);
  Queue(3000);
  Start(script);
  ASSERT_EQ(Finish(), Outcome::Finished);
  EXPECT_TRUE(listener.finished);
  EXPECT_EQ(listener.Taken(), 6000);
  ASSERT_EQ(TextsPut().size(), 3u);
  EXPECT_TRUE(TextsPut()[0].starts_with("第一句，|")) << TextsPut()[0];
  EXPECT_EQ(pieces.ScriptDone(), script.size());
  ASSERT_EQ(pieces.Clauses().size(), 3u);
  EXPECT_EQ(pieces.Clauses()[2].firstSample, 1500);
  EXPECT_EQ(pieces.Clauses()[2].endSample, 3000);
  ASSERT_EQ(pieces.Sentences().size(), 2u);
  const SpokenSentence& first = pieces.Sentences()[0];
  EXPECT_EQ(script.substr(first.textBegin, first.textEnd - first.textBegin), "第一句，还有。");
  EXPECT_EQ(first.audioEnd, 3000);
  EXPECT_EQ(pieces.Sentences()[1].audioBegin, 3000);
}

TEST_F(PiecePipelineTest, SynthesisStaysFifteenSecondsAheadHoldsWhilePausedAndStopsInTheWait) {
  constexpr unsigned kTwentySeconds = 20 * 32000;
  for (int i = 0; i < 3; ++i) Queue(kTwentySeconds);
  listener.heard = 0;
  Start("第一句。第二句。第三句。");
  ASSERT_TRUE(WaitsOn());
  EXPECT_EQ(TextsPut().size(), 1u) << "20 s are unheard";
  pieces.RequestPause();
  listener.heard = kTwentySeconds;  // heard, but paused
  ASSERT_TRUE(WaitsOn());
  EXPECT_EQ(TextsPut().size(), 1u) << "no piece is made while paused";
  pieces.RequestContinue();
  for (int i = 0; i < 1000 && TextsPut().size() < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(WaitsOn());
  EXPECT_EQ(TextsPut().size(), 2u);
  pieces.RequestStop();
  EXPECT_EQ(Finish(), Outcome::Stopped);
  EXPECT_EQ(listener.Taken(), 2 * kTwentySeconds);
  EXPECT_FALSE(listener.finished);
}

TEST_F(PiecePipelineTest, AStopInsideTheEngineEndsTheRunWithNothingMoreTaken) {
  Queue(1000);
  Queue(1000);
  Recorder<void(const char*)>("RecorderHoldAudioGet")("sid-2");
  Start("一。二。");
  for (int i = 0; i < 1000 && Recorder<int()>("RecorderHolding")() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  pieces.RequestStop();
  Recorder<void()>("RecorderRelease")();
  EXPECT_EQ(Finish(), Outcome::Stopped);
  EXPECT_EQ(listener.Taken(), 1000);
  const std::string last =
      Recorder<const char*(int)>("RecorderCall")(Recorder<int()>("RecorderCallCount")() - 1);
  EXPECT_TRUE(last.starts_with("QTTSSessionEnd|sid-2")) << "the engine works for nobody: " << last;
}

TEST_F(PiecePipelineTest, FailuresAndSilenceHaveTheirOwnOutcomes) {
  Queue(1000, 10112);
  Start("一。");
  EXPECT_EQ(Finish(), Outcome::EngineFailed);

  listener.refuse = true;
  Queue(1000);
  Start("一。");
  EXPECT_EQ(Finish(), Outcome::OutletFailed);

  listener.refuse = false;
  listener.heard = -1;  // the listener cannot tell where it is
  Queue(1000);
  Start("一。");
  EXPECT_EQ(Finish(), Outcome::OutletFailed);

  listener.heard = Listener::kEverything;
  Recorder<void()>("RecorderReset")();
  Start(" ，\r\n");
  EXPECT_EQ(Finish(), Outcome::NothingToSay);
  EXPECT_TRUE(TextsPut().empty());
  Start(" ，\r\n", Silence::SpeakWhole);
  EXPECT_EQ(Finish(), Outcome::Finished);
  EXPECT_EQ(TextsPut(), std::vector<std::string>{" ，\r\n|5|"}) << "the reading's text, whole";
}

}  // namespace
