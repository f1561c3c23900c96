#include "speech/ReadAloud.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/Program.h"
#include "support/FakeRuntimeServices.h"
#include "support/ProgramFolder.h"

namespace {

using namespace std::chrono_literals;

constexpr unsigned kStopped = 0, kPlaying = 1;

// The read-aloud driver against the fake, with recording stand-ins of the speech engine
// and the audio library in the program's folder. The test's own thread plays the
// user-interface thread: commands run under the fake's lock, as the worker's handed-over
// changes do.
class ReadAloudTest : public ::testing::Test {
 protected:
  template <typename Function>
  Function* Recorder(const char* library, const char* name) {
    return reinterpret_cast<Function*>(services.LibraryFunctionAddress(library, name));
  }

  void SetUp() override {
    Recorder<void()>("msc.dll", "RecorderReset")();
    Recorder<const char*()>("bass.dll", "RecorderTakeLog")();
    SetActive(kPlaying);
    SetInitResult(1);
    services.Preset(Control::编辑框1, Property::Content, Text("你好，世界"));
  }
  void TearDown() override {
    FailPushesFrom(0);
    SetPosition(4000);
    SetActive(kStopped);
    Ui([&] { StopReading(program.Reading()); });
    ReleaseEngine();
    // The workers must be gone before the program's objects are.
    for (int worker : state.stoppedWorkers) EXPECT_TRUE(WorkerEnded(worker));
  }

  void Ui(const std::function<void()>& command) {
    services.Locked([&] { command(); });
  }
  // The worker after the command (read under the lock: a worker that fails at once
  // clears it meanwhile).
  int Start() {
    int worker = 0;
    Ui([&] {
      StartOrContinueReading(program.Reading());
      worker = state.worker;
    });
    return worker;
  }
  void Pause() {
    Ui([&] { PauseReading(program.Reading()); });
  }
  void Stop() {
    Ui([&] { StopReading(program.Reading()); });
  }

  void QueueAudio(unsigned bytes, int status = 2, int error = 0) {
    static const std::vector<std::uint8_t> pcm(1 << 20, 0x11);
    Recorder<void(const void*, unsigned, int, int)>("msc.dll", "RecorderQueueAudio")(
        pcm.data(), bytes, status, error);
  }
  void SetInitResult(int result) {
    Recorder<void(int)>("bass.dll", "RecorderSetInitResult")(result);
  }
  void FailPushesFrom(int push) { Recorder<void(int)>("bass.dll", "RecorderFailPushesFrom")(push); }
  void SetPosition(std::uint64_t bytes) {
    Recorder<void(std::uint64_t)>("bass.dll", "RecorderSetPosition")(bytes);
  }
  bool MarkIs(int start, int length) {
    return Eventually([&] { return services.Mark() == std::pair{start, length}; });
  }
  void SetActive(unsigned state) {
    Recorder<void(unsigned)>("bass.dll", "RecorderSetActive")(state);
  }
  std::string AudioLog() {
    return audioLog += Recorder<const char*()>("bass.dll", "RecorderTakeLog")();
  }
  std::vector<std::string> EngineCalls() {
    std::vector<std::string> calls;
    const int count = Recorder<int()>("msc.dll", "RecorderCallCount")();
    for (int i = 0; i < count; ++i)
      calls.push_back(Recorder<const char*(int)>("msc.dll", "RecorderCall")(i));
    return calls;
  }
  bool Contains(const std::string& text) { return AudioLog().find(text) != std::string::npos; }
  int Count(const std::string& text) {
    const std::string log = AudioLog();
    int count = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }
  int TextPuts() {
    int count = 0;
    for (const auto& call : EngineCalls()) count += call.rfind("QTTSTextPut", 0) == 0;
    return count;
  }
  bool SynthesisEnded() { return Contains("BASS_StreamPutData(7,null,0|end)"); }
  std::vector<Text> Messages() {
    std::vector<Text> shown;
    for (const auto& box : services.CallsOf<MessageBoxCall>())
      shown.push_back(box.message.AsText());
    return shown;
  }

  // Reads "第一句。第二句。" until the worker has ended by itself; the audio log.
  std::string ReadTwoSentencesToTheEnd() {
    services.Preset(Control::编辑框1, Property::Content, Text("第一句。第二句。"));
    const int worker = Start();
    EXPECT_TRUE(WorkerEnded(worker));
    return AudioLog();
  }
  // A reading that failed after it began to play: its stream freed, the buttons idle,
  // no mark, and the one message.
  void ExpectEndedWhilePlaying(const std::string& log, const Text& message) {
    EXPECT_NE(log.find("BASS_ChannelPlay(7,1)"), std::string::npos) << log;
    EXPECT_NE(log.find("BASS_StreamFree(7)"), std::string::npos) << log;
    EXPECT_EQ(Buttons(), kIdle);
    EXPECT_EQ(services.Mark(), std::pair(0, 0));
    EXPECT_EQ(Messages(), std::vector<Text>{message});
  }

  // Waits (boundedly) until the probe holds.
  bool Eventually(const std::function<bool()>& probe) {
    for (int i = 0; i < 500; ++i) {
      if (probe()) return true;
      std::this_thread::sleep_for(5ms);
    }
    return probe();
  }
  bool WorkerEnded(int worker) { return services.WaitForThread(worker, 5000); }
  // The worker is held inside the engine while the test acts: in the first request for
  // audio of that session (of any without one), until released.
  void HoldEngine(const char* session = nullptr) {
    Recorder<void(const char*)>("msc.dll", "RecorderHoldAudioGet")(session);
  }
  bool EngineHeld() {
    return Eventually([&] { return Recorder<int()>("msc.dll", "RecorderHolding")() == 1; });
  }
  void ReleaseEngine() { Recorder<void()>("msc.dll", "RecorderRelease")(); }
  // The worker has gone round its wait a few more times: what it would have done wrong by
  // now, it has done.
  bool WorkerLoopsOn() {
    const std::size_t delays = services.Delays().size();
    return Eventually([&] { return services.Delays().size() >= delays + 3; });
  }

  // The buttons 按钮10, 按钮11, 按钮12: enabled or not.
  std::vector<bool> Buttons() {
    std::vector<bool> enabled;
    for (Control c : {Control::按钮10, Control::按钮11, Control::按钮12})
      enabled.push_back(!services.Peek(c, Property::Disabled).AsBool());
    return enabled;
  }
  const std::vector<bool> kIdle{true, false, false};
  const std::vector<bool> kReading{false, true, true};
  const std::vector<bool> kPaused{true, false, true};

  FakeRuntimeServices services;
  ProgramFolder folder{services};
  Program program{services};
  ReadAloudState& state = program.reading;
  std::string audioLog;
};

TEST_F(ReadAloudTest, AReadingSpeaksWithTheStoredVoiceAndEndsAVoiceSampleStillPlaying) {
  services.settings = {{"voice/speed", "9"}, {"voice/pitch", "2"}, {"voice/name", "female1"}};
  state.sample = 5;
  QueueAudio(32000);
  Start();
  EXPECT_TRUE(Contains("BASS_StreamFree(5)"));
  EXPECT_EQ(state.sample, 0u);
  ASSERT_TRUE(Eventually([&] { return !EngineCalls().empty(); }));
  const std::string begin = EngineCalls()[0];
  EXPECT_NE(begin.find("vcn=female1,spd=9,vol=10,pit=2,ttp="), std::string::npos) << begin;
}

TEST_F(ReadAloudTest, ReadingPlaysTheSynthesisedTextAndEndsByItselfWithIdleButtons) {
  QueueAudio(32000);
  const int worker = Start();
  EXPECT_EQ(Buttons(), kReading);
  ASSERT_GT(worker, 0);
  ASSERT_TRUE(Eventually([&] { return Contains("BASS_ChannelPlay(7,1)"); }));
  EXPECT_TRUE(Contains("BASS_StreamCreate(16000,1,0,push,")) << audioLog;
  EXPECT_TRUE(Contains("BASS_StreamPutData(7,data,32000)")) << "the first piece's PCM";
  EXPECT_TRUE(Contains("BASS_SetVolume(0.99)"));
  const auto calls = EngineCalls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_NE(calls[0].find("vcn=xiaoyu,spd=4,vol=10"), std::string::npos) << calls[0];
  EXPECT_NE(calls[1].find("QTTSTextPut|sid-1|你好，"), std::string::npos) << calls[1];
  ASSERT_TRUE(Eventually([&] {
    for (const auto& call : EngineCalls())
      if (call.find("QTTSTextPut|sid-2|世界") != std::string::npos) return true;
    return false;
  })) << "the script goes to the engine clause by clause";

  ASSERT_TRUE(Eventually([&] { return Contains("BASS_StreamPutData(7,null,0|end)"); }));
  SetActive(kStopped);  // playback reaches its end
  ASSERT_TRUE(WorkerEnded(worker));
  EXPECT_TRUE(Contains("BASS_StreamFree(7)"));
  EXPECT_EQ(state.worker, 0);
  EXPECT_EQ(Buttons(), kIdle) << "a reading that ended by itself leaves the buttons idle";
}

TEST_F(ReadAloudTest, WithoutASoundDeviceItSaysSoAndStaysIdleUntilTheDeviceOpens) {
  SetInitResult(0);
  services.ScriptMessageBoxAnswer(kAnswerOk);
  Start();
  const auto boxes = services.CallsOf<MessageBoxCall>();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].message.AsText(), "没有找到可用的声音输出设备，无法朗读。");
  EXPECT_EQ(boxes[0].caption, Text("语音"));
  EXPECT_EQ(boxes[0].style, kMbOk | kMbIconExclamation);
  EXPECT_TRUE(services.CallsOf<StartThreadCall>().empty());
  EXPECT_EQ(state.worker, 0);
  EXPECT_EQ(Buttons(), kIdle);

  // A device that appears later is opened by the next reading.
  SetInitResult(1);
  QueueAudio(32000);
  EXPECT_GT(Start(), 0);
  EXPECT_EQ(services.CallsOf<MessageBoxCall>().size(), 1u);
  EXPECT_TRUE(Eventually([&] { return Contains("BASS_ChannelPlay(7,1)"); }));
  EXPECT_EQ(Buttons(), kReading);
}

TEST_F(ReadAloudTest, PauseThenContinueAfterSynthesisEndedGoesOnFromWhereItPaused) {
  QueueAudio(32000);
  Start();
  ASSERT_TRUE(Eventually([&] { return SynthesisEnded(); }));
  ASSERT_TRUE(Contains("BASS_ChannelPlay(7,1)"));
  Pause();
  EXPECT_TRUE(Contains("BASS_ChannelGetPosition(7,0)"));
  EXPECT_TRUE(Contains("BASS_ChannelPause(7)"));
  EXPECT_EQ(Buttons(), kPaused);
  audioLog.clear();
  Start();
  const std::string log = AudioLog();
  EXPECT_NE(log.find("BASS_ChannelPlay(7,0)"), std::string::npos) << log;
  EXPECT_EQ(log.find("BASS_ChannelSetPosition"), std::string::npos)
      << "a push stream goes on from its place; a seek would replay or skip";
  EXPECT_FALSE(IsReadingPaused(state));
  EXPECT_EQ(Buttons(), kReading);
}

TEST_F(ReadAloudTest, StartWhilePlayingStartsNothingNew) {
  QueueAudio(32000);
  const int worker = Start();
  ASSERT_TRUE(Eventually([&] { return Contains("BASS_ChannelPlay(7,1)"); }));
  audioLog.clear();
  EXPECT_EQ(Start(), worker);
  EXPECT_EQ(services.CallsOf<StartThreadCall>().size(), 1u);
  EXPECT_EQ(AudioLog().find("BASS_ChannelPlay"), std::string::npos);
  EXPECT_EQ(Buttons(), kReading);
}

TEST_F(ReadAloudTest, StopAfterSynthesisEndedEndsTheReadingAtOnceAndForgetsThePause) {
  QueueAudio(32000);
  const int worker = Start();
  ASSERT_TRUE(Eventually([&] { return SynthesisEnded(); }));
  ASSERT_TRUE(Contains("BASS_ChannelPlay(7,1)"));
  Pause();
  Stop();
  EXPECT_TRUE(Contains("BASS_ChannelStop(7)"));
  EXPECT_EQ(state.worker, 0);
  EXPECT_EQ(Buttons(), kIdle);
  EXPECT_FALSE(IsReadingPaused(state)) << "the next reading must not start paused";
  ASSERT_TRUE(WorkerEnded(worker));
  EXPECT_TRUE(Contains("BASS_StreamFree(7)"));
  EXPECT_TRUE(Messages().empty()) << "a stop is no failure";

  // The next start is a new reading, not a continue.
  audioLog.clear();
  QueueAudio(32000);
  EXPECT_NE(Start(), worker);
  ASSERT_TRUE(Eventually([&] { return Contains("BASS_ChannelPlay(7,1)"); }));
  EXPECT_EQ(AudioLog().find("BASS_ChannelSetPosition"), std::string::npos);
}

TEST_F(ReadAloudTest, StopAfterTheEndOnlyResetsTheButtons) {
  QueueAudio(32000);
  SetActive(kStopped);
  const int worker = Start();
  ASSERT_TRUE(WorkerEnded(worker));
  audioLog.clear();
  Stop();
  EXPECT_EQ(AudioLog().find("BASS_ChannelStop"), std::string::npos);
  EXPECT_EQ(Buttons(), kIdle);
}

TEST_F(ReadAloudTest, PauseDuringSynthesisHoldsTheReadingUntilContinue) {
  QueueAudio(16000, 1);
  QueueAudio(16000, 2);
  HoldEngine();
  Start();
  ASSERT_TRUE(EngineHeld());
  Pause();
  EXPECT_EQ(Buttons(), kPaused);
  ReleaseEngine();
  ASSERT_TRUE(Eventually([&] { return Contains("BASS_StreamCreate("); }));
  ASSERT_TRUE(WorkerLoopsOn()) << "the paused reading waits, looking again and again";
  EXPECT_EQ(AudioLog().find("BASS_ChannelPlay"), std::string::npos) << "still paused";
  EXPECT_GT(state.worker, 0) << "the reading waits, it has not ended";

  Start();
  EXPECT_TRUE(Contains("BASS_ChannelPlay(7,0)"));
  EXPECT_EQ(Buttons(), kReading);
}

TEST_F(ReadAloudTest, StopDuringSynthesisMakesNoSoundAndNoLaterReadingUsesTheEngineBeforeItLeft) {
  QueueAudio(16000, 1);
  QueueAudio(16000, 2);
  HoldEngine();
  const int first = Start();
  ASSERT_TRUE(EngineHeld());
  Stop();
  EXPECT_EQ(state.worker, 0);
  EXPECT_EQ(Buttons(), kIdle);

  // Readings may start at once, but none may use the engine while the first is in it:
  // neither one started and stopped while it waits, nor the one started after that.
  auto begins = [&] {
    int count = 0;
    for (const auto& call : EngineCalls()) count += call.rfind("QTTSSessionBegin", 0) == 0;
    return count;
  };
  const auto waitsOrBegins = [&] {
    const std::size_t delays = services.Delays().size();
    return Eventually([&] { return begins() > 1 || services.Delays().size() >= delays + 3; });
  };
  const int second = Start();
  ASSERT_TRUE(waitsOrBegins());
  Stop();
  ASSERT_TRUE(WorkerEnded(second));
  QueueAudio(16000, 2);
  Start();
  ASSERT_TRUE(waitsOrBegins());
  EXPECT_EQ(begins(), 1) << "two workers on the engine at once";
  ReleaseEngine();
  ASSERT_TRUE(WorkerEnded(first));
  ASSERT_TRUE(Eventually([&] { return begins() >= 2; }));
  const auto calls = EngineCalls();
  int endOfFirst = -1, beginOfNext = -1, sessions = 0;
  for (int i = 0; i < static_cast<int>(calls.size()); ++i) {
    if (calls[i].rfind("QTTSSessionEnd", 0) == 0 && endOfFirst < 0) endOfFirst = i;
    if (calls[i].rfind("QTTSSessionBegin", 0) == 0 && ++sessions == 2) beginOfNext = i;
  }
  EXPECT_GE(endOfFirst, 0) << "the stopped reading's session is ended";
  EXPECT_LT(endOfFirst, beginOfNext);
  ASSERT_TRUE(Eventually([&] { return Contains("BASS_ChannelPlay(7,1)"); }));
  EXPECT_EQ(audioLog.find("BASS_StreamCreate("), audioLog.rfind("BASS_StreamCreate("))
      << "the stopped readings created no stream";
  EXPECT_TRUE(Messages().empty()) << "a stop is no failure";
}

TEST_F(ReadAloudTest, FailedSynthesisPlaysNothingAndSaysSoOnce) {
  QueueAudio(8000, 1, 10112);
  const int worker = Start();
  ASSERT_TRUE(WorkerEnded(worker));
  const std::string log = AudioLog();
  EXPECT_EQ(log.find("BASS_StreamCreate("), std::string::npos) << log;
  EXPECT_EQ(log.find("BASS_ChannelPlay"), std::string::npos) << log;
  EXPECT_NE(log.find("BASS_SetVolume(0.99)"), std::string::npos);
  EXPECT_EQ(state.worker, 0);
  EXPECT_EQ(Buttons(), kIdle);
  const auto boxes = services.CallsOf<MessageBoxCall>();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].message.AsText(), "语音合成出错，朗读已停止。");
  EXPECT_EQ(boxes[0].caption, Text("语音"));
  EXPECT_EQ(boxes[0].style, kMbOk | kMbIconExclamation);
}

TEST_F(ReadAloudTest, PlayBeginsWithTheFirstPieceAndPauseAndStopWorkBetweenPieces) {
  services.Preset(Control::编辑框1, Property::Content, Text("第一句。第二句。"));
  QueueAudio(32000);
  QueueAudio(32000);
  HoldEngine("sid-2");
  const int worker = Start();
  ASSERT_TRUE(EngineHeld());
  EXPECT_TRUE(Contains("BASS_StreamPutData(7,data,32000)\n")) << audioLog;
  EXPECT_TRUE(Contains("BASS_ChannelPlay(7,1)")) << "the first piece plays while the next is made";
  Pause();
  EXPECT_TRUE(Contains("BASS_ChannelPause(7)"));
  EXPECT_EQ(Buttons(), kPaused);
  Start();
  EXPECT_TRUE(Contains("BASS_ChannelPlay(7,0)"));
  EXPECT_EQ(Buttons(), kReading);
  Stop();
  EXPECT_TRUE(Contains("BASS_ChannelStop(7)"));
  EXPECT_EQ(Buttons(), kIdle);
  ReleaseEngine();
  ASSERT_TRUE(WorkerEnded(worker));
  const std::string log = AudioLog();
  EXPECT_NE(log.find("BASS_StreamFree(7)"), std::string::npos);
  EXPECT_EQ(log.find("BASS_StreamPutData"), log.rfind("BASS_StreamPutData"))
      << "nothing pushed after the stop: " << log;
  EXPECT_EQ(log.find("BASS_ChannelSetPosition"), std::string::npos);
  EXPECT_TRUE(Messages().empty()) << "a stop is no failure";
}

TEST_F(ReadAloudTest, AFailedPieceEndsThePlayingReadingWithIdleButtons) {
  QueueAudio(32000);
  QueueAudio(8000, 1, 10112);
  const std::string log = ReadTwoSentencesToTheEnd();
  ExpectEndedWhilePlaying(log, "语音合成出错，朗读已停止。");
  EXPECT_EQ(log.find("|end"), std::string::npos) << "no end pushed after a failure";
  EXPECT_EQ(state.worker, 0);
  EXPECT_EQ(state.stream, 0u);
}

TEST_F(ReadAloudTest, AnAudioOutputThatRefusesAPieceEndsTheReadingAndSaysTheSoundFailed) {
  QueueAudio(32000);
  QueueAudio(32000);
  FailPushesFrom(2);
  ExpectEndedWhilePlaying(ReadTwoSentencesToTheEnd(), "语音无法播放，朗读已停止。");
}

TEST_F(ReadAloudTest, SynthesisWaitsWhileFifteenSecondsAreQueuedAndPauseAndStopWorkInTheWait) {
  services.onDelay = [](int) { std::this_thread::sleep_for(1ms); };  // the voice's pace
  // Sees the worker look at the position a few times more: it is waiting.
  const auto waits = [&] {
    const std::size_t delays = services.Delays().size();
    return Eventually([&] { return services.Delays().size() >= delays + 3; });
  };
  services.Preset(Control::编辑框1, Property::Content, Text("第一句。第二句。第三句。"));
  QueueAudio(640000);  // 20 s of speech each
  QueueAudio(640000);
  QueueAudio(32000);
  const int worker = Start();
  ASSERT_TRUE(Eventually([&] { return Contains("BASS_ChannelPlay(7,1)"); }));
  ASSERT_TRUE(waits());
  EXPECT_EQ(TextPuts(), 1) << "4000 bytes heard: 19.9 s are queued";
  Pause();
  EXPECT_TRUE(Contains("BASS_ChannelPause(7)"));
  ASSERT_TRUE(waits());
  EXPECT_EQ(TextPuts(), 1);
  EXPECT_EQ(Buttons(), kPaused);
  Start();
  EXPECT_TRUE(Contains("BASS_ChannelPlay(7,0)"));

  SetPosition(640000 - 15 * 32000);  // 15 s still to hear: the next piece is made
  ASSERT_TRUE(Eventually([&] { return Count("BASS_StreamPutData(7,data,640000)") == 2; }));
  ASSERT_TRUE(waits());
  EXPECT_EQ(TextPuts(), 2);
  Stop();
  ASSERT_TRUE(WorkerEnded(worker)) << "a stop ends the wait at once";
  EXPECT_EQ(TextPuts(), 2);
  EXPECT_EQ(Count("BASS_StreamPutData"), 2) << audioLog;
  EXPECT_TRUE(Contains("BASS_StreamFree(7)"));
  EXPECT_EQ(Buttons(), kIdle);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ReadAloudTest, TheScriptIsTakenOnceWhenTheReadingStarts) {
  services.Preset(Control::编辑框1, Property::Content, Text());
  HoldEngine();
  QueueAudio(3200);
  Start();
  ASSERT_TRUE(EngineHeld());
  services.Preset(Control::编辑框1, Property::Content, Text("改过的稿子"));
  ReleaseEngine();
  ASSERT_TRUE(Eventually([&] { return Contains("BASS_ChannelPlay(7,1)"); }));
  for (const auto& call : EngineCalls())
    EXPECT_EQ(call.find("改过的稿子"), std::string::npos) << call;
  bool emptyTextPut = false;
  for (const auto& call : EngineCalls())
    emptyTextPut = emptyTextPut || call.rfind("QTTSTextPut", 0) == 0;
  EXPECT_TRUE(emptyTextPut) << "an empty editor still goes to the engine";
}

TEST_F(ReadAloudTest, TheWholeFirstSentenceIsMarkedWhileItsLaterClausesAreStillBeingMade) {
  services.Preset(Control::编辑框1, Property::Content, Text("第一步，打开软件。第二步。"));
  QueueAudio(32000);
  QueueAudio(32000);
  HoldEngine("sid-2");
  Start();
  ASSERT_TRUE(EngineHeld());
  EXPECT_TRUE(MarkIs(0, 18)) << "not only 第一步，";
  ReleaseEngine();
}

// The editor cleared, then holding a shorter script: the mark is on the heard sentence
// where its text is now, and nowhere when it is gone; what is read stays the same.
TEST_F(ReadAloudTest, EditsThatShortenTheScriptWhileItIsReadMoveOrDropTheMarkOnly) {
  services.Preset(Control::编辑框1, Property::Content, Text("第一句。第二句。第三句。"));
  QueueAudio(32000);
  QueueAudio(32000);
  QueueAudio(32000);
  const int worker = Start();
  ASSERT_TRUE(MarkIs(0, 8));
  services.Preset(Control::编辑框1, Property::Content, Text());
  SetPosition(40000);
  ASSERT_TRUE(MarkIs(0, 0)) << "the second sentence is gone";
  services.Preset(Control::编辑框1, Property::Content, Text("第三句。第一句。"));
  SetPosition(70000);
  ASSERT_TRUE(MarkIs(0, 8)) << "the third sentence, now first";

  ASSERT_TRUE(Eventually([&] { return SynthesisEnded(); }));
  SetActive(kStopped);
  ASSERT_TRUE(WorkerEnded(worker));
  EXPECT_TRUE(Contains("BASS_StreamPutData(7,null,0|end)"));
  EXPECT_EQ(TextPuts(), 3) << "the script read is the one taken at the start";
  EXPECT_EQ(Buttons(), kIdle);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ReadAloudTest, TheSentenceBeingHeardIsMarkedThroughPauseAndEditsUntilStop) {
  services.Preset(Control::编辑框1, Property::Content, Text("第一句。第二句。"));
  QueueAudio(32000);
  QueueAudio(32000);
  Start();
  ASSERT_TRUE(MarkIs(0, 8)) << "4000 bytes in: the first sentence";
  SetPosition(40000);
  ASSERT_TRUE(MarkIs(8, 8));
  Pause();
  ASSERT_TRUE(WorkerLoopsOn()) << "the paused reading looks at its position again";
  EXPECT_EQ(services.Mark(), std::pair(8, 8)) << "the paused sentence stays marked";
  Start();
  // Text typed before it while reading: the mark finds the sentence where it is now.
  services.Preset(Control::编辑框1, Property::Content, Text("插入。第一句。第二句。"));
  SetPosition(4000);
  ASSERT_TRUE(MarkIs(0, 8) || MarkIs(6, 8));
  SetPosition(40000);
  ASSERT_TRUE(MarkIs(14, 8));

  Ui([&] { ToggleReadingHighlight(program.Reading()); });
  EXPECT_EQ(services.Mark(), std::pair(0, 0));
  EXPECT_EQ(services.settings["reading/highlight"], "false");
  const auto calls = services.Calls();
  ASSERT_FALSE(calls.empty());
  const auto* check = std::get_if<SetMenuItemCheckedCall>(&calls.back());
  ASSERT_NE(check, nullptr) << "the menu's check is the last call";
  EXPECT_EQ(check->item, MenuItem::朗读时标出句子);
  EXPECT_FALSE(check->checked);
  Ui([&] { ToggleReadingHighlight(program.Reading()); });
  ASSERT_TRUE(MarkIs(14, 8)) << "switched on again, it marks at once";
  Stop();
  EXPECT_EQ(services.Mark(), std::pair(0, 0));
}

}  // namespace
