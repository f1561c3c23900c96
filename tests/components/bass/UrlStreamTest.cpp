// URL streams against HTTP servers on 127.0.0.1.
#include <algorithm>
#include <atomic>

#include "BassFixture.h"
#include "TestHttpServer.h"

using namespace audio_files;
using namespace std::chrono_literals;

namespace {

class UrlStreams : public BassFixture {};

TEST_F(UrlStreams, WavOverHttpPlaysToTheEndSampleForSample) {
  const Samples pcm = NonZeroNoise(48000, 30);
  TestHttpServer server({.body = WaveImage(pcm)});
  ASSERT_TRUE(OpenDisk(16000, false));
  const HSTREAM stream = BASS_StreamCreateURL(server.Url().c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(stream, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(stream, BASS_POS_BYTE), pcm.size() * 2);
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  EXPECT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), pcm.size() * 2);
  EXPECT_EQ(CloseAndRead().SoundingLeft(), pcm);
}

TEST_F(UrlStreams, Mp3OverHttpPlaysToTheEnd) {
  const Samples tone = Sine(48000, 16000, 440, 8000);
  WriteFile(Path("tone.wav"), WaveImage(tone));
  ASSERT_TRUE(
      RunCommand("lame --quiet -b 64 '" + Path("tone.wav") + "' '" + Path("tone.mp3") + "'"));
  const Bytes mp3 = ReadFile(Path("tone.mp3"));
  const Samples reference = DecodeWithSndfile(mp3);
  TestHttpServer server({.body = mp3});
  ASSERT_TRUE(OpenDisk(16000, false));
  const HSTREAM stream = BASS_StreamCreateURL(server.Url().c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  EXPECT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), reference.size() * 2);
  const Samples heard = WithoutZeroRuns(CloseAndRead().LeftSpan());
  EXPECT_GT(BestCorrelation(tone, heard, 2000), 0.95);
}

TEST_F(UrlStreams, WaitingForDataReportsStalledThenPlaysOn) {
  const Samples pcm = NonZeroNoise(80000, 31);  // 160 kB, the server pauses after 100 kB
  TestHttpServer server({.body = WaveImage(pcm), .pauseAfter = 100000, .pause = 800ms});
  ASSERT_TRUE(OpenDisk(16000, false));
  const HSTREAM stream = BASS_StreamCreateURL(server.Url().c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  const std::vector<DWORD> states = WaitUntilStopped(stream);
  EXPECT_NE(std::find(states.begin(), states.end(), DWORD{BASS_ACTIVE_STALLED}), states.end());
  EXPECT_EQ(states.back(), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_EQ(CloseAndRead().SoundingLeft(), pcm);
}

TEST_F(UrlStreams, OffsetIsRequestedAsARangeAndSkippedWhenTheServerIgnoresIt) {
  const Samples pcm = NonZeroNoise(8000, 32);
  const Bytes body = Join({Bytes(1000, 0xEE), WaveImage(pcm)});
  for (bool honour : {true, false}) {
    TestHttpServer server({.body = body, .honourRange = honour});
    ASSERT_TRUE(OpenDisk(16000, false));
    const HSTREAM stream = BASS_StreamCreateURL(server.Url().c_str(), 1000, 0, nullptr, nullptr);
    ASSERT_NE(stream, 0u) << "honour " << honour;
    ASSERT_NE(server.Requests().size(), 0u);
    EXPECT_NE(server.Requests()[0].find("Range: bytes=1000-"), std::string::npos);
    ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
    WaitUntilStopped(stream);
    EXPECT_EQ(CloseAndRead().SoundingLeft(), pcm) << "honour " << honour;
  }
}

TEST_F(UrlStreams, ErrorsUnreachableServersAndNonAudioGiveNoStream) {
  ASSERT_TRUE(OpenDisk(16000, false));
  TestHttpServer missing({.body = WaveImage(NonZeroNoise(100, 33)), .status = 404});
  EXPECT_EQ(BASS_StreamCreateURL(missing.Url().c_str(), 0, 0, nullptr, nullptr), 0u);

  TestHttpServer text({.body = Bytes(5000, 'x')});
  EXPECT_EQ(BASS_StreamCreateURL(text.Url().c_str(), 0, 0, nullptr, nullptr), 0u);

  std::string closed;
  {
    TestHttpServer gone({.body = {}});
    closed = gone.Url();
  }
  EXPECT_EQ(BASS_StreamCreateURL(closed.c_str(), 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(BASS_StreamCreateURL(("file://" + Path("x.wav")).c_str(), 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(BASS_StreamCreateURL("not a url", 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(BASS_StreamCreateURL(nullptr, 0, 0, nullptr, nullptr), 0u);
}

TEST_F(UrlStreams, DownloadCallbackSeesEveryByteThenTheEnd) {
  const Bytes wav = WaveImage(NonZeroNoise(30000, 34));
  TestHttpServer server({.body = wav});
  ASSERT_TRUE(OpenDisk(16000, false));
  struct Seen {
    std::atomic<std::size_t> bytes{0};
    std::atomic<bool> ended{false};
  } seen;
  auto proc = [](const void* buffer, DWORD length, void* user) {
    auto* s = static_cast<Seen*>(user);
    if (buffer)
      s->bytes += length;
    else
      s->ended = true;
  };
  const HSTREAM stream = BASS_StreamCreateURL(server.Url().c_str(), 0, 0, proc, &seen);
  ASSERT_NE(stream, 0u);
  const auto limit = std::chrono::steady_clock::now() + 10s;
  while (!seen.ended && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(seen.ended);
  EXPECT_EQ(seen.bytes, wav.size());
}

// A server that stops sending must not hold up freeing the stream or the device.
TEST_F(UrlStreams, FreeingDuringAStalledDownloadReturnsPromptly) {
  const Bytes wav = WaveImage(NonZeroNoise(100000, 35));
  TestHttpServer server({.body = wav, .pauseAfter = 70000, .pause = 60s});
  ASSERT_TRUE(OpenDisk(16000, false));
  const HSTREAM first = BASS_StreamCreateURL(server.Url().c_str(), 0, 0, nullptr, nullptr);
  const HSTREAM second = BASS_StreamCreateURL(server.Url().c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(first, FALSE));
  ASSERT_TRUE(BASS_ChannelPlay(second, FALSE));
  EXPECT_TRUE(Eventually([&] { return BASS_ChannelIsActive(first) == BASS_ACTIVE_STALLED; }));
  EXPECT_TRUE(BASS_StreamFree(first));
  EXPECT_TRUE(BASS_Free());
  EXPECT_EQ(BASS_ChannelIsActive(second), DWORD{BASS_ACTIVE_STOPPED});
}

}  // namespace
