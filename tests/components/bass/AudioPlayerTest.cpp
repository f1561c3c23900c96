// AudioPlayer over the real bass.dll that it carries and writes itself, playing
// through SDL's disk driver.
#include "audio/AudioPlayer.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "AudioFiles.h"
#include "TestHttpServer.h"
#include "framework/TextCodec.h"
#include "support/FakeRuntimeServices.h"

using namespace audio_files;
using namespace std::chrono_literals;

namespace {

class AudioPlayerTest : public ::testing::Test {
 protected:
  // One program folder for the whole run: a library is bound once per process.
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/audio-player-XXXXXX";
    folder_ = ::mkdtemp(pattern);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(folder_); }

  AudioPlayerTest() {
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", Path("device.raw").c_str(), 1);
    ::setenv("SDL_DISKAUDIODELAY", "0", 1);
  }
  void SetUp() override {
    // What the constructor wrote into the fake's files goes to disk, where the
    // library is bound from.
    const std::string library = folder_ + "/bass.dll";
    ASSERT_TRUE(services.Files().count(library));
    if (!std::filesystem::exists(library)) WriteFile(library, services.Files()[library]);
  }
  void TearDown() override {
    player.FreeDevice();
    std::filesystem::remove(Path("device.raw"));
  }

  static std::string Path(const std::string& name) { return folder_ + "/" + name; }

  // Polls until the stream has played at least bytes (or the limit passes).
  std::int64_t WaitForPosition(AudioPlayer::Handle handle, std::int64_t bytes) {
    const auto limit = std::chrono::steady_clock::now() + 10s;
    std::int64_t position;
    while ((position = player.GetPosition(handle)) < bytes &&
           std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(1ms);
    return position;
  }

  int WaitUntilStopped(AudioPlayer::Handle handle) {
    const auto limit = std::chrono::steady_clock::now() + 30s;
    int state;
    while ((state = player.IsActive(handle)) != 0 && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(2ms);
    return state;
  }

  // The folder is in place before the player writes its library.
  struct ServicesInFolder : FakeRuntimeServices {
    ServicesInFolder() { programDirectory = folder_; }
  };

  static inline std::string folder_;
  ServicesInFolder services;
  AudioPlayer player{services};
};

// (When a library is written is the platform's rule: tests/components/files.)
TEST_F(AudioPlayerTest, ConstructionWritesTheCarriedLibraryAndACloneDoesNot) {
  const std::string library = folder_ + "/bass.dll";
  EXPECT_EQ(services.Files()[library], ReadFile(BASS_LIBRARY)) << "the built library, exactly";
  EXPECT_EQ(services.CallsOf<BundledLibraryCall>().size(), 1u);
  const auto copy = player.Clone();
  EXPECT_EQ(services.CallsOf<BundledLibraryCall>().size(), 1u);
  EXPECT_TRUE(copy->InitDevice(0));
  EXPECT_TRUE(copy->FreeDevice());
}

// The read-aloud worker's road: a WaveImage as a memory stream, master volume,
// play, poll until stopped, free.
TEST_F(AudioPlayerTest, WaveImagePlaysThroughTheWorkersCallingOrder) {
  ASSERT_TRUE(player.InitDevice());
  const ByteBuffer image = WaveImage(Sine(8000, 16000, 440, 10000));
  const AudioPlayer::Handle stream = player.CreateStream("", image, "");
  ASSERT_NE(stream, 0u);
  EXPECT_EQ(player.GetLength(stream), 16000);
  EXPECT_TRUE(player.SetMasterVolume(0.99f));
  EXPECT_FLOAT_EQ(player.GetMasterVolume(), 0.99f);
  ASSERT_TRUE(player.Play(stream));
  EXPECT_EQ(WaitUntilStopped(stream), 0);
  EXPECT_EQ(player.GetPosition(stream), 16000);
  EXPECT_TRUE(player.FreeStream(stream));
  EXPECT_EQ(player.IsActive(stream), 0);
  EXPECT_FALSE(player.FreeStream(stream));
  player.FreeDevice();
  // The default device runs at 44.1 kHz: resampled, at 0.99 of the level.
  const Samples heard = WithoutZeroRuns(ReadDeviceOutput(Path("device.raw")).LeftSpan());
  EXPECT_NEAR(static_cast<double>(heard.size()), 22050, 60);
  EXPECT_GT(BestCorrelation(Sine(22050, 44100, 440, 9900), heard, 64), 0.99);
  EXPECT_NEAR(*std::max_element(heard.begin(), heard.end()), 9900, 100);
}

TEST_F(AudioPlayerTest, MissingFileFallsBackToTheBufferAndAnExistingFileIsOpenedByItsName) {
  ASSERT_TRUE(player.InitDevice(0));
  const ByteBuffer wav = WaveImage(NonZeroNoise(3000, 51));
  EXPECT_NE(player.CreateStream(Path("missing.wav"), wav, ""), 0u);

  // A Chinese name: the program's text is GB18030, the file system's UTF-8.
  const char8_t lesson[] = u8"第一课.wav";
  const std::string utf8Name = Path(reinterpret_cast<const char*>(lesson));
  const ByteBuffer padded = Join({ByteBuffer(100, 0x42), wav});
  WriteFile(utf8Name, padded);
  const Text name = TextFromUtf8(utf8Name);
  services.Files()[name] = padded;
  EXPECT_EQ(player.CreateStream(name, {}, "", 0), 0u) << "the junk in front is not audio";
  const AudioPlayer::Handle stream = player.CreateStream(name, {}, "", 100);
  ASSERT_NE(stream, 0u);
  EXPECT_EQ(player.GetLength(stream), 6000);
}

TEST_F(AudioPlayerTest, UrlStreamFromALocalServer) {
  const ByteBuffer wav = WaveImage(NonZeroNoise(16000, 52));
  TestHttpServer server({.body = wav});
  ASSERT_TRUE(player.InitDevice());
  const AudioPlayer::Handle stream = player.CreateStream("", {}, server.Url());
  ASSERT_NE(stream, 0u);
  EXPECT_EQ(player.GetLength(stream), 32000);
  ASSERT_TRUE(player.Play(stream));
  EXPECT_EQ(WaitUntilStopped(stream), 0);
  EXPECT_EQ(player.CreateStream("", {}, "http://127.0.0.1:1/none"), 0u);
}

// Pause keeps the position; resuming as the program does (play restarts, then the
// saved position is set) continues from it.
TEST_F(AudioPlayerTest, PauseThenPlayAndSetPositionResumes) {
  ASSERT_TRUE(player.InitDevice(0, 16000));
  // Long enough to be still playing after a slow machine's wait.
  const ByteBuffer wav = WaveImage(NonZeroNoise(16000 * 20, 53));
  const AudioPlayer::Handle stream = player.CreateStream("", wav, "");
  ASSERT_TRUE(player.Play(stream));
  ASSERT_GE(WaitForPosition(stream, 9600), 9600);
  ASSERT_TRUE(player.Pause(stream));
  EXPECT_EQ(player.IsActive(stream), 3);
  const std::int64_t saved = player.GetPosition(stream);
  EXPECT_GT(saved, 0);
  ASSERT_TRUE(player.Play(stream));
  EXPECT_LT(player.GetPosition(stream), saved) << "play restarts by default";
  ASSERT_TRUE(player.SetPosition(stream, saved));
  EXPECT_GE(player.GetPosition(stream), saved);
  EXPECT_EQ(player.IsActive(stream), 1);
  EXPECT_TRUE(player.Stop(stream));
  EXPECT_EQ(player.IsActive(stream), 0);
}

TEST_F(AudioPlayerTest, TagsSpectrumVolumesAndConversions) {
  WriteFile(Path("tone.wav"), WaveImage(Sine(16000, 16000, 1000, 16384)));
  ASSERT_EQ(std::system(("lame --quiet -b 64 --id3v1-only --tt 'Lesson One' '" + Path("tone.wav") +
                         "' '" + Path("tone.mp3") + "'")
                            .c_str()),
            0);
  ASSERT_TRUE(player.InitDevice(0));
  const ByteBuffer mp3 = ReadFile(Path("tone.mp3"));
  const ByteBuffer wav = WaveImage(Sine(16000 * 20, 16000, 1000, 16384));
  const AudioPlayer::Handle tagged = player.CreateStream("", mp3, "");
  const AudioPlayer::Handle plain = player.CreateStream("", wav, "");
  EXPECT_EQ(player.GetTags(tagged), "TAGLesson One");
  EXPECT_EQ(player.GetTags(plain), "");

  std::vector<float> values(5, 9.0f);
  EXPECT_EQ(player.GetSpectrum(plain, values), -1) << "not playing";
  EXPECT_EQ(values, std::vector<float>(128, 0.0f));
  ASSERT_TRUE(player.Play(plain));
  // The window reaches back 256 frames from what is heard: all of them the tone.
  ASSERT_GE(WaitForPosition(plain, 3200), 3200);
  EXPECT_EQ(player.GetSpectrum(plain, values), 512);
  EXPECT_EQ(std::max_element(values.begin() + 1, values.end()) - values.begin(), 16);

  EXPECT_TRUE(player.SetChannelVolume(plain, 0.3f));
  float volume = 0;
  EXPECT_TRUE(player.GetChannelVolume(plain, volume));
  EXPECT_EQ(volume, 0.3f);
  EXPECT_DOUBLE_EQ(player.BytesToSeconds(plain, 16000), 0.5);
  EXPECT_EQ(player.SecondsToBytes(plain, 0.25), 8000);
  EXPECT_EQ(player.GetPosition(12345), -1);
  EXPECT_FALSE(player.Play(0));
  EXPECT_EQ(player.IsActive(0), 0);
}

}  // namespace
