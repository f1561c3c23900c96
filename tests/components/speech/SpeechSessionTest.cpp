#include "speech/SpeechSession.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "RecordingMsc.h"
#include "support/FakeRuntimeServices.h"

namespace {

namespace fs = std::filesystem;

// The library binding keeps the first msc.dll it opened for the whole process, so all
// tests share one program folder holding the recording library.
const std::string& ProgramFolder() {
  static const std::string folder = [] {
    const fs::path path =
        fs::temp_directory_path() / ("speech-session-" + std::to_string(getpid()));
    fs::create_directories(path);
    fs::copy_file(RECORDING_MSC, path / "msc.dll", fs::copy_options::overwrite_existing);
    return path.string();
  }();
  return folder;
}

class RemoveProgramFolder : public ::testing::Environment {
 public:
  void TearDown() override { fs::remove_all(ProgramFolder()); }
};
const auto* const removeProgramFolder =
    ::testing::AddGlobalTestEnvironment(new RemoveProgramFolder);

// The recording library's controls, from the same loaded copy that the session binds.
struct Recorder {
  Recorder() {
    void* library = dlopen((ProgramFolder() + "/msc.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    reset = reinterpret_cast<decltype(reset)>(dlsym(library, "RecorderReset"));
    setResult = reinterpret_cast<decltype(setResult)>(dlsym(library, "RecorderSetResult"));
    queueAudio = reinterpret_cast<decltype(queueAudio)>(dlsym(library, "RecorderQueueAudio"));
    callCount = reinterpret_cast<decltype(callCount)>(dlsym(library, "RecorderCallCount"));
    call = reinterpret_cast<decltype(call)>(dlsym(library, "RecorderCall"));
  }
  bool Loaded() const { return reset && setResult && queueAudio && callCount && call; }
  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    for (int i = 0; i < callCount(); ++i) calls.emplace_back(call(i));
    return calls;
  }
  void Queue(const std::string& data, int status, int error = 0) {
    queueAudio(data.data(), static_cast<unsigned int>(data.size()), status, error);
  }

  decltype(&RecorderReset) reset = nullptr;
  decltype(&RecorderSetResult) setResult = nullptr;
  decltype(&RecorderQueueAudio) queueAudio = nullptr;
  decltype(&RecorderCallCount) callCount = nullptr;
  decltype(&RecorderCall) call = nullptr;
};

ByteBuffer FileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return ByteBuffer(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ByteBuffer Bytes(const std::string& text) { return ByteBuffer(text.begin(), text.end()); }

const std::string kReadAloudParameters =
    "QTTSSessionBegin|ssm=1,ent=vivi21,vcn=xiaoyu,spd=4,vol=10,ttp=text,tte=GB2312,bgs=0,"
    "aue=speex;7,auf=audio/L16;rate=16000|<pointer>";
const std::string kEnd = "|正常关闭";

class SpeechSessionTest : public ::testing::Test {
 protected:
  SpeechSessionTest() { services.programDirectory = ProgramFolder(); }
  void SetUp() override {
    ASSERT_TRUE(recorder.Loaded());
    recorder.reset();
  }
  // Created on first use, so that a test can prepare the program folder first.
  SpeechSession& Session() {
    if (!session) session.emplace(services);
    return *session;
  }
  // A session opened as the read-aloud worker opens it.
  void BeginReading() { Session().BeginSession("xiaoyu", 0, 10, 0); }

  FakeRuntimeServices services;
  Recorder recorder;
  std::optional<SpeechSession> session;
};

// --- Construction ---------------------------------------------------------------

TEST_F(SpeechSessionTest, ConstructionWritesTheCodingLibraryThenTheEngineAndCallsNothing) {
  Session();
  const auto writes = services.CallsOf<BundledLibraryCall>();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].fileName, "speex.dll");
  EXPECT_EQ(writes[1].fileName, "msc.dll");
  EXPECT_EQ(services.Files()[ProgramFolder() + "/speex.dll"], FileBytes(SPEEX_LIBRARY));
  EXPECT_EQ(services.Files()[ProgramFolder() + "/msc.dll"], FileBytes(MSC_LIBRARY));
  EXPECT_TRUE(recorder.Calls().empty());
  EXPECT_EQ(Session().SessionId(), "");
}

TEST_F(SpeechSessionTest, AnExistingCodingLibraryIsKeptAndTheEngineIsStillWritten) {
  const ByteBuffer old = {1, 2, 3};
  services.Files()[ProgramFolder() + "/speex.dll"] = old;
  Session();
  EXPECT_EQ(services.Files()[ProgramFolder() + "/speex.dll"], old);
  EXPECT_EQ(services.Files()[ProgramFolder() + "/msc.dll"], FileBytes(MSC_LIBRARY));
}

// --- Initialize and Finalize ----------------------------------------------------

TEST_F(SpeechSessionTest, InitializeSendsTheConfigurationWithTheStoredAppId) {
  recorder.setResult("QTTSInit", 10106);
  EXPECT_EQ(Session().Initialize(), 10106);
  EXPECT_EQ(recorder.Calls(),
            std::vector<std::string>{"QTTSInit|server_url=tts.orvane.invalid:80/index.htm,"
                                     "appid=48213970,timeout=10000,coding_libs=speex.dll,"
                                     "max_text_size=2048"});
}

TEST_F(SpeechSessionTest, InitializeUsesAGivenAppId) {
  Session().Initialize("12345678");
  EXPECT_EQ(recorder.Calls(),
            std::vector<std::string>{"QTTSInit|server_url=tts.orvane.invalid:80/index.htm,"
                                     "appid=12345678,timeout=10000,coding_libs=speex.dll,"
                                     "max_text_size=2048"});
}

TEST_F(SpeechSessionTest, FinalizeWithoutASessionOnlyStopsTheEngine) {
  recorder.setResult("QTTSFini", 10111);
  EXPECT_EQ(Session().Finalize(), 10111);
  EXPECT_EQ(recorder.Calls(), std::vector<std::string>{"QTTSFini"});
}

TEST_F(SpeechSessionTest, FinalizeEndsTheOpenSessionFirstAndIgnoresItsResult) {
  BeginReading();
  recorder.setResult("QTTSSessionEnd", 10108);
  EXPECT_EQ(Session().Finalize(), 0);
  const auto calls = recorder.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1], "QTTSSessionEnd|sid-1" + kEnd);
  EXPECT_EQ(calls[2], "QTTSFini");
}

// Only a started engine needs finalising at exit; any session starts it for all.
TEST_F(SpeechSessionTest, TheEngineCountsAsStartedFromASuccessfulStartToItsFinalize) {
  EXPECT_EQ(Session().Finalize(), 0);
  EXPECT_FALSE(SpeechSession::EngineStarted());
  recorder.setResult("QTTSInit", 10106);
  EXPECT_NE(Session().Clone()->Initialize(), 0);
  EXPECT_FALSE(SpeechSession::EngineStarted());
  recorder.setResult("QTTSInit", 0);
  EXPECT_EQ(Session().Clone()->Initialize(), 0);
  EXPECT_TRUE(SpeechSession::EngineStarted());
  EXPECT_EQ(Session().Finalize(), 0);
  EXPECT_FALSE(SpeechSession::EngineStarted());
}

// --- Sessions -------------------------------------------------------------------

TEST_F(SpeechSessionTest, TheReadAloudSessionSendsItsParametersCharacterForCharacter) {
  EXPECT_EQ(Session().BeginSession("xiaoyu", 0, 10, 0), 0);
  EXPECT_EQ(recorder.Calls(), std::vector<std::string>{kReadAloudParameters});
  EXPECT_EQ(Session().SessionId(), "sid-1");
}

TEST_F(SpeechSessionTest, MissingValuesFallBackToTheDefaults) {
  Session().BeginSession();
  Session().BeginSession("", 0, -3, -1);
  Session().BeginSession("xiaoyu", 7, 2, 3);
  const auto calls = recorder.Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0],
            "QTTSSessionBegin|ssm=1,ent=vivi21,vcn=xiaoyan,spd=4,vol=5,ttp=text,tte=GB2312,"
            "bgs=0,aue=speex;7,auf=audio/L16;rate=16000|<pointer>");
  EXPECT_EQ(calls[2],
            "QTTSSessionBegin|ssm=1,ent=vivi21,vcn=xiaoyan,spd=4,vol=5,ttp=text,tte=GB2312,"
            "bgs=-1,aue=speex;7,auf=audio/L16;rate=16000|<pointer>");
  EXPECT_EQ(calls[4],
            "QTTSSessionBegin|ssm=1,ent=vivi21,vcn=xiaoyu,spd=7,vol=2,ttp=text,tte=GB2312,"
            "bgs=3,aue=speex;7,auf=audio/L16;rate=16000|<pointer>");
}

TEST_F(SpeechSessionTest, TwoReadingsInARowEndTheFirstSessionNormally) {
  BeginReading();
  Session().PutText("你好");
  Session().ReceiveAudio();
  BeginReading();
  EXPECT_EQ(recorder.Calls(),
            (std::vector<std::string>{kReadAloudParameters, "QTTSTextPut|sid-1|你好|4|",
                                      "QTTSAudioGet|sid-1", "QTTSSessionEnd|sid-1" + kEnd,
                                      kReadAloudParameters}));
  EXPECT_EQ(Session().SessionId(), "sid-2");
}

TEST_F(SpeechSessionTest, AFailedEndKeepsTheOldSessionAndOpensNoNewOne) {
  BeginReading();
  recorder.setResult("QTTSSessionEnd", 10108);
  EXPECT_EQ(Session().BeginSession("xiaoyu", 0, 10, 0), 10108);
  EXPECT_EQ(recorder.Calls(),
            (std::vector<std::string>{kReadAloudParameters, "QTTSSessionEnd|sid-1" + kEnd}));
  EXPECT_EQ(Session().SessionId(), "sid-1");
}

TEST_F(SpeechSessionTest, EndSessionReturnsTheEngineResultAndKeepsTheId) {
  BeginReading();
  recorder.setResult("QTTSSessionEnd", 7);
  EXPECT_EQ(Session().EndSession(), 7);
  EXPECT_EQ(Session().SessionId(), "sid-1");
  EXPECT_EQ(recorder.Calls().back(), "QTTSSessionEnd|sid-1" + kEnd);
}

TEST_F(SpeechSessionTest, AFailedBeginLeavesNoSessionAndLaterCallsPassANullId) {
  BeginReading();
  recorder.setResult("QTTSSessionBegin", 0);
  EXPECT_EQ(Session().BeginSession("xiaoyu", 0, 10, 0), 0);
  EXPECT_EQ(Session().SessionId(), "");
  recorder.reset();
  recorder.Queue("", 2, 10107);
  Session().PutText("abc");
  EXPECT_TRUE(Session().ReceiveAudio().empty());
  EXPECT_EQ(Session().EndSession(), 0);
  Session().Finalize();
  EXPECT_EQ(recorder.Calls(), (std::vector<std::string>{"QTTSTextPut|<null>|abc|3|",
                                                        "QTTSAudioGet|<null>", "QTTSFini"}));
}

TEST_F(SpeechSessionTest, TheFirstSessionStartsAnEngineThatIsNotRunningYet) {
  recorder.setResult("QTTSSessionBegin", MSC_ERROR_NOT_INIT);
  EXPECT_EQ(Session().BeginSession("xiaoyu", 0, 10, 0), 0);
  EXPECT_EQ(Session().SessionId(), "sid-1");
  const auto calls = recorder.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], kReadAloudParameters);
  EXPECT_EQ(calls[1].rfind("QTTSInit|server_url=tts.orvane.invalid", 0), 0u) << calls[1];
  EXPECT_EQ(calls[2], kReadAloudParameters);
}

TEST_F(SpeechSessionTest, PutTextSendsTheWholeTextInOneCallWithItsByteLength) {
  BeginReading();
  recorder.setResult("QTTSTextPut", 10109);
  EXPECT_EQ(Session().PutText("打开Python编辑器"), 10109);
  Session().PutText("");
  const std::string longText(5000, 'a');
  Session().PutText(longText);
  const auto calls = recorder.Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[1], "QTTSTextPut|sid-1|打开Python编辑器|16|");
  EXPECT_EQ(calls[2], "QTTSTextPut|sid-1||0|");
  EXPECT_EQ(calls[3], "QTTSTextPut|sid-1|" + longText + "|5000|");
}

TEST_F(SpeechSessionTest, CloneCarriesItsOwnCopyOfTheSessionId) {
  BeginReading();
  const std::unique_ptr<SpeechSession> clone = Session().Clone();
  EXPECT_EQ(clone->SessionId(), "sid-1");
  clone->BeginSession("xiaoyu", 0, 10, 0);
  EXPECT_EQ(clone->SessionId(), "sid-2");
  EXPECT_EQ(Session().SessionId(), "sid-1");
  EXPECT_EQ(services.CallsOf<BundledLibraryCall>().size(), 2u);  // no second writing
}

TEST_F(SpeechSessionTest, DestroyingTheObjectCallsNothing) {
  BeginReading();
  recorder.reset();
  session.reset();
  EXPECT_TRUE(recorder.Calls().empty());
}

// --- Receiving audio ------------------------------------------------------------

TEST_F(SpeechSessionTest, ChunksAreAppendedInOrderBehindTheWaveHeaderUntilStatusTwo) {
  BeginReading();
  recorder.Queue("ab", 1);
  recorder.queueAudio(nullptr, 6, 1, 0);  // a null pointer adds nothing
  recorder.Queue("", 1);                  // nor does a zero length
  recorder.Queue("cde", 1);
  recorder.Queue("fg", 2);
  recorder.Queue("never", 2);  // after the end: not asked for
  const ByteBuffer image = Session().ReceiveAudio();
  EXPECT_EQ(image, Session().BuildWaveImage(Bytes("abcdefg")));
  EXPECT_EQ(
      recorder.Calls(),
      (std::vector<std::string>{kReadAloudParameters, "QTTSAudioGet|sid-1", "QTTSAudioGet|sid-1",
                                "QTTSAudioGet|sid-1", "QTTSAudioGet|sid-1", "QTTSAudioGet|sid-1"}));
}

TEST_F(SpeechSessionTest, AnErrorAfterSomeAudioGivesTheEmptyBuffer) {
  BeginReading();
  recorder.Queue("abcd", 1);
  recorder.Queue("ef", 2, 10112);
  EXPECT_TRUE(Session().ReceiveAudio().empty());
}

TEST_F(SpeechSessionTest, AnErrorWithoutStatusTwoEndsTheLoop) {
  BeginReading();
  recorder.Queue("abcd", 1);
  recorder.Queue("", 1, 10108);
  recorder.Queue("", 1);  // a loop that went on would ask again
  EXPECT_TRUE(Session().ReceiveAudio().empty());
  EXPECT_EQ(recorder.Calls().size(), 3u);
}

TEST_F(SpeechSessionTest, AnEndWithoutAudioGivesTheBareHeader) {
  BeginReading();
  recorder.Queue("", 2);
  const ByteBuffer image = Session().ReceiveAudio();
  ASSERT_EQ(image.size(), 44u);
  EXPECT_EQ(image, Session().BuildWaveImage({}));
}

TEST_F(SpeechSessionTest, AStopAskedBetweenChunksEndsTheLoopWithTheEmptyBuffer) {
  BeginReading();
  recorder.Queue("ab", 1);
  recorder.Queue("cd", 1);
  recorder.Queue("ef", 2);
  int asked = 0;
  const ByteBuffer image = Session().ReceiveAudio([&asked] { return ++asked < 2; });
  EXPECT_TRUE(image.empty());
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(recorder.Calls().size(), 3u);  // the begin and two chunks; the third never asked
}

TEST_F(SpeechSessionTest, AKeepGoingAnswerOfYesChangesNothing) {
  BeginReading();
  recorder.Queue("ab", 1);
  recorder.Queue("cd", 2);
  EXPECT_EQ(Session().ReceiveAudio([] { return true; }), Session().BuildWaveImage(Bytes("abcd")));
}

}  // namespace
