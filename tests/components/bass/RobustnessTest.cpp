// What the library does with bad input, bad handles, calls out of order and
// several threads at once: a failure value, never a crash or a hang.
#include <signal.h>
#include <sndfile.h>
#include <stdio.h>

#include <atomic>
#include <cstring>
#include <random>
#include <set>

#include "BassFixture.h"

using namespace audio_files;
using namespace std::chrono_literals;

namespace {

class Robustness : public BassFixture {};

TEST_F(Robustness, ExportsExactlyTheTwentyTwoFunctions) {
  FILE* pipe = ::popen("nm -D --defined-only '" BASS_LIBRARY "'", "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> exported;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    const char* name = std::strrchr(line, ' ');
    if (name) exported.insert(std::string(name + 1, std::strcspn(name + 1, "\n")));
  }
  ::pclose(pipe);
  const std::set<std::string> api = {"BASS_Init",
                                     "BASS_Free",
                                     "BASS_StreamCreateFile",
                                     "BASS_StreamCreateURL",
                                     "BASS_StreamCreate",
                                     "BASS_StreamPutData",
                                     "BASS_ChannelPlay",
                                     "BASS_ChannelPause",
                                     "BASS_ChannelStop",
                                     "BASS_ChannelGetPosition",
                                     "BASS_ChannelSetPosition",
                                     "BASS_ChannelGetLength",
                                     "BASS_ChannelGetTags",
                                     "BASS_ChannelIsActive",
                                     "BASS_StreamFree",
                                     "BASS_ChannelGetData",
                                     "BASS_ChannelSetAttribute",
                                     "BASS_ChannelGetAttribute",
                                     "BASS_SetVolume",
                                     "BASS_GetVolume",
                                     "BASS_ChannelBytes2Seconds",
                                     "BASS_ChannelSeconds2Bytes"};
  // Besides the API only the markers every linker adds.
  for (const char* marker : {"__bss_start", "_edata", "_end"}) exported.erase(marker);
  EXPECT_EQ(exported, api);
}

TEST_F(Robustness, InitAndFreeRules) {
  EXPECT_FALSE(BASS_Free()) << "nothing to free";
  EXPECT_EQ(BASS_GetVolume(), -1.0f);
  EXPECT_FALSE(BASS_SetVolume(0.5f));
  const Bytes wav = WaveImage(NonZeroNoise(100, 40));
  EXPECT_EQ(FromMemory(wav), 0u) << "no stream without a device";

  EXPECT_FALSE(BASS_Init(-2, 44100, 0, nullptr, nullptr));
  EXPECT_FALSE(BASS_Init(0, 0, 0, nullptr, nullptr));
  EXPECT_FALSE(BASS_Init(0, 999, 0, nullptr, nullptr));
  EXPECT_FALSE(BASS_Init(0, 1000000, 0, nullptr, nullptr));
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", Path("device.raw").c_str(), 1);
  EXPECT_FALSE(BASS_Init(99, 44100, 0, nullptr, nullptr)) << "there is no 99th device";
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
  EXPECT_FALSE(BASS_Init(0, 44100, 0, nullptr, nullptr)) << "already initialised";
  const HSTREAM stream = FromMemory(wav);
  EXPECT_NE(stream, 0u);
  EXPECT_TRUE(BASS_Free());
  EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_FALSE(BASS_ChannelPlay(stream, FALSE)) << "streams end with their device";
  EXPECT_FALSE(BASS_Free());
  ASSERT_TRUE(BASS_Init(1, 16000, 0, nullptr, nullptr)) << "SDL's first device";
  EXPECT_NE(FromMemory(wav), stream) << "handles are not reused";
}

// SIGINT and SIGTERM stay the host's: an open device installs no handler of its own.
TEST_F(Robustness, LeavesTheHostsSignalsAlone) {
  ASSERT_TRUE(OpenDisk(44100, false));
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction action {};
    ASSERT_EQ(::sigaction(signal, nullptr, &action), 0);
    EXPECT_EQ(action.sa_handler, SIG_DFL) << "signal " << signal;
  }
}

// Garbage, truncated and empty data: no stream, from memory and from files.
TEST_F(Robustness, UnusableDataGivesNoStream) {
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
  const Bytes wav = WaveImage(NonZeroNoise(2000, 41));
  const Bytes flac = EncodeWithSndfile(NonZeroNoise(2000, 42), 16000, 1, SF_FORMAT_FLAC);
  Bytes random(65536);
  std::mt19937 generator(43);
  for (auto& b : random) b = static_cast<std::uint8_t>(generator());
  const std::string text = "This is a script, not audio. 这是脚本，不是音频。";
  auto withField = [&](std::size_t at, std::uint16_t value) {
    Bytes copy = wav;
    copy[at] = static_cast<std::uint8_t>(value);
    copy[at + 1] = static_cast<std::uint8_t>(value >> 8);
    return copy;
  };
  Bytes noData = wav;
  noData.resize(44);  // the header promises 4000 bytes, none follow

  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"one byte", {0x52}},
      {"text", Bytes(text.begin(), text.end())},
      {"random", random},
      {"RIFF only", Bytes(wav.begin(), wav.begin() + 12)},
      {"cut in fmt", Bytes(wav.begin(), wav.begin() + 30)},
      {"cut before data", Bytes(wav.begin(), wav.begin() + 40)},
      {"data promised, none there", noData},
      {"0 channels", withField(22, 0)},
      {"9 channels", withField(22, 9)},
      {"0-bit samples", withField(34, 0)},
      {"unknown codec 0x1234", withField(20, 0x1234)},
      {"rate 0", withField(24, 0)},
      {"format 0x55 (MP3 in WAV)", withField(20, 0x55)},
      {"FLAC cut after 40 bytes", Bytes(flac.begin(), flac.begin() + 40)},
      {"a WAV header with no samples", WaveImage({})},
  };
  for (const auto& [name, bytes] : cases) {
    EXPECT_EQ(FromMemory(bytes), 0u) << name;
    WriteFile(Path("case.bin"), bytes);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, Path("case.bin").c_str(), 0, 0, 0), 0u) << name;
  }
  EXPECT_EQ(BASS_StreamCreateFile(TRUE, wav.data(), 0, 0, 0), 0u) << "empty memory";
  EXPECT_EQ(BASS_StreamCreateFile(TRUE, nullptr, 0, 100, 0), 0u);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, nullptr, 0, 0, 0), 0u);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, "", 0, 0, 0), 0u);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, Path("missing.wav").c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, Path("").c_str(), 0, 0, 0), 0u) << "a folder";
  WriteFile(Path("empty.wav"), {});
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, Path("empty.wav").c_str(), 0, 0, 0), 0u);
  WriteFile(Path("good.wav"), wav);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, Path("good.wav").c_str(), wav.size(), 0, 0), 0u)
      << "offset at the end";
  EXPECT_NE(BASS_StreamCreateFile(FALSE, Path("good.wav").c_str(), 0, 0, 0), 0u)
      << "and the same file whole is fine";
}

// A WAV cut short in its samples plays what is there.
TEST_F(Robustness, WavCutInItsSamplesPlaysWhatIsThere) {
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
  Bytes wav = WaveImage(NonZeroNoise(2000, 44));
  wav.resize(44 + 1001);
  const HSTREAM stream = FromMemory(wav);
  ASSERT_NE(stream, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(stream, BASS_POS_BYTE), 1000u) << "whole frames only";
}

TEST_F(Robustness, BadAndFreedHandlesGiveTheFailureValue) {
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
  const Bytes wav = WaveImage(NonZeroNoise(2000, 45));
  const HSTREAM freed = FromMemory(wav);
  ASSERT_TRUE(BASS_StreamFree(freed));
  EXPECT_FALSE(BASS_StreamFree(freed)) << "twice";
  float value = 7;
  float spectrum[128];
  for (DWORD handle : {DWORD{0}, DWORD{12345}, freed, ~DWORD{0}}) {
    SCOPED_TRACE(handle);
    EXPECT_FALSE(BASS_ChannelPlay(handle, TRUE));
    EXPECT_FALSE(BASS_ChannelPause(handle));
    EXPECT_FALSE(BASS_ChannelStop(handle));
    EXPECT_EQ(BASS_ChannelIsActive(handle), DWORD{BASS_ACTIVE_STOPPED});
    EXPECT_EQ(BASS_ChannelGetPosition(handle, BASS_POS_BYTE), ~QWORD{0});
    EXPECT_FALSE(BASS_ChannelSetPosition(handle, 0, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ChannelGetLength(handle, BASS_POS_BYTE), ~QWORD{0});
    EXPECT_EQ(BASS_ChannelGetTags(handle, BASS_TAG_ID3), nullptr);
    EXPECT_EQ(BASS_ChannelGetData(handle, spectrum, BASS_DATA_FFT256), ~DWORD{0});
    EXPECT_FALSE(BASS_ChannelSetAttribute(handle, BASS_ATTRIB_VOL, 0.5f));
    EXPECT_FALSE(BASS_ChannelGetAttribute(handle, BASS_ATTRIB_VOL, &value));
    EXPECT_LT(BASS_ChannelBytes2Seconds(handle, 100), 0.0);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(handle, 1.0), ~QWORD{0});
    EXPECT_FALSE(BASS_StreamFree(handle));
  }
  EXPECT_EQ(value, 7.0f) << "left alone on failure";
}

// The UI thread controls a stream while a worker polls it and a third thread makes
// and frees streams; then the device goes away under them.
TEST_F(Robustness, CallsFromSeveralThreadsAtOnce) {
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
  const Bytes wav = WaveImage(NonZeroNoise(32000, 46));
  const HSTREAM stream = FromMemory(wav);
  ASSERT_NE(stream, 0u);
  std::atomic<bool> stop{false};
  std::atomic<int> polls{0};
  std::thread poller([&] {
    float spectrum[128];
    while (!stop) {
      BASS_ChannelIsActive(stream);
      BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
      BASS_ChannelGetData(stream, spectrum, BASS_DATA_FFT256);
      BASS_ChannelGetTags(stream, BASS_TAG_ID3);
      BASS_ChannelGetLength(stream, BASS_POS_BYTE);
      ++polls;
    }
  });
  std::thread churn([&] {
    while (!stop) {
      const HSTREAM other = FromMemory(wav);
      BASS_ChannelPlay(other, FALSE);
      BASS_StreamFree(other);
    }
  });
  for (int i = 0; i < 200; ++i) {
    BASS_ChannelPlay(stream, i % 3 == 0);
    BASS_ChannelSetPosition(stream, static_cast<QWORD>((i * 997) % 64000), BASS_POS_BYTE);
    BASS_ChannelPause(stream);
    BASS_ChannelPlay(stream, FALSE);
    BASS_ChannelSetAttribute(stream, BASS_ATTRIB_VOL, (i % 10) / 10.0f);
    BASS_SetVolume((i % 5) / 5.0f);
    if (i % 7 == 0) BASS_ChannelStop(stream);
  }
  EXPECT_TRUE(BASS_ChannelPlay(stream, FALSE));
  EXPECT_NE(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_TRUE(BASS_Free());
  EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_STOPPED});
  stop = true;
  poller.join();
  churn.join();
  EXPECT_GT(polls.load(), 0);
}

}  // namespace
