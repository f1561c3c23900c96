// Playback through SDL's disk driver: what reaches the device, states, positions,
// pause, restart, seeking, mixing and volumes.
#include <algorithm>
#include <cmath>
#include <set>

#include "BassFixture.h"

using namespace audio_files;
using namespace std::chrono_literals;

namespace {

class Playback : public BassFixture {
 protected:
  // Opens the 16 kHz disk device and a stream over `frames` of mono noise; the samples
  // stay in pcm_ and the image the stream reads from in image_. 0 where either fails.
  HSTREAM NoiseStream(std::size_t frames, unsigned seed, bool realTime) {
    if (!OpenDisk(16000, realTime)) {
      ADD_FAILURE() << "no disk device";
      return 0;
    }
    pcm_ = NonZeroNoise(frames, seed);
    image_ = WaveImage(pcm_);
    return FromMemory(image_);
  }

  // A NoiseStream at real pace, played (from the start where restart is set) until its
  // position has reached `bytes`. 0 where it does not play.
  HSTREAM PlayNoiseUntil(std::size_t frames, unsigned seed, QWORD bytes, BOOL restart = FALSE) {
    const HSTREAM stream = NoiseStream(frames, seed, true);
    if (!stream || !BASS_ChannelPlay(stream, restart)) {
      ADD_FAILURE() << "the stream does not play";
      return 0;
    }
    EXPECT_GE(WaitForPosition(stream, bytes), bytes) << "the position moves on";
    return stream;
  }

  Samples pcm_;
  Bytes image_;
};

TEST_F(Playback, WaveImageAt16kHzReachesA16kHzDeviceSampleForSample) {
  const HSTREAM stream = NoiseStream(12000, 1, false);
  ASSERT_NE(stream, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(stream, BASS_POS_BYTE), pcm_.size() * 2);
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));

  const std::vector<DWORD> states = WaitUntilStopped(stream);
  ASSERT_EQ(states.back(), DWORD{BASS_ACTIVE_STOPPED});
  for (std::size_t i = 0; i + 1 < states.size(); ++i)
    EXPECT_TRUE(states[i] == BASS_ACTIVE_PLAYING || states[i] == BASS_ACTIVE_STALLED) << states[i];
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), pcm_.size() * 2)
      << "a stream that has played out stands at its end";

  const DeviceOutput output = CloseAndRead();
  EXPECT_EQ(output.SoundingLeft(), pcm_);
  EXPECT_EQ(output.SoundingRight(), pcm_) << "mono goes to both channels";
}

TEST_F(Playback, PauseThenPlayWithoutRestartContinuesWithNothingLostOrRepeated) {
  const HSTREAM stream = PlayNoiseUntil(16000, 2, 8000);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(BASS_ChannelPause(stream));
  EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_PAUSED});
  EXPECT_FALSE(BASS_ChannelPause(stream)) << "already paused";

  // From the moment pause returns, the position rests.
  const QWORD paused = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
  // The device plays on (silence): twenty more of its buffers prove the pause has lasted.
  const auto written = [&] { return std::filesystem::file_size(Path("device.raw")); };
  const std::uintmax_t enough = written() + 20 * kBuffer16k * 4;
  for (const auto deadline = std::chrono::steady_clock::now() + 10s;
       written() < enough && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::sleep_for(5ms);
  ASSERT_GE(written(), enough) << "the device goes on through the pause";
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), paused);
  EXPECT_GE(paused, 8000u);
  EXPECT_LT(paused, pcm_.size() * 2);

  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  EXPECT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});
  const DeviceOutput output = CloseAndRead();

  // The pause shows as silence between the two parts, and the parts put together are
  // the stream: nothing heard twice, nothing skipped.
  EXPECT_GT(output.LeftSpan().size(), pcm_.size() + 16000 / 10);
  EXPECT_EQ(output.SoundingLeft(), pcm_);
}

// The program resumes a paused reading with play (which restarts) followed at once
// by a jump back to the position it saved at the pause.
TEST_F(Playback, RestartThenSetPositionResumesAtTheSavedPosition) {
  const HSTREAM stream = PlayNoiseUntil(16000, 3, 9000, TRUE);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(BASS_ChannelPause(stream));
  const QWORD saved = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
  std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(BASS_ChannelPlay(stream, TRUE));
  ASSERT_TRUE(BASS_ChannelSetPosition(stream, saved, BASS_POS_BYTE));
  EXPECT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});

  const Samples heard = CloseAndRead().SoundingLeft();
  const Samples rest(pcm_.begin() + static_cast<std::ptrdiff_t>(saved / 2), pcm_.end());
  EXPECT_GE(CommonSuffix(heard, pcm_), rest.size()) << "everything after the saved position";
  EXPECT_LE(std::max(heard.size(), pcm_.size()) - std::min(heard.size(), pcm_.size()),
            2 * kBuffer16k);
}

TEST_F(Playback, PlayWithRestartStartsOver) {
  const HSTREAM stream = PlayNoiseUntil(9600, 4, 6400);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(stream, TRUE));
  EXPECT_LT(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 6400u);
  EXPECT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});

  const Samples heard = CloseAndRead().SoundingLeft();
  ASSERT_GT(heard.size(), pcm_.size());
  const std::size_t first = heard.size() - pcm_.size();
  EXPECT_EQ(Samples(heard.end() - static_cast<std::ptrdiff_t>(pcm_.size()), heard.end()), pcm_)
      << "the whole stream after the restart";
  EXPECT_EQ(CommonPrefix(heard, pcm_), first) << "the start of it before";
  EXPECT_GT(first, 3200u);
}

TEST_F(Playback, StopKeepsThePositionAndPlayContinuesFromIt) {
  const HSTREAM stream = PlayNoiseUntil(9600, 5, 4000);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(BASS_ChannelStop(stream));
  EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_STOPPED});
  std::this_thread::sleep_for(100ms);
  const QWORD stopped = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
  EXPECT_GT(stopped, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  EXPECT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_EQ(CloseAndRead().SoundingLeft(), pcm_);
}

TEST_F(Playback, PlayAfterTheEndStartsOverAndIsActiveEndsAtZeroEachTime) {
  const HSTREAM stream = NoiseStream(4000, 6, false);
  ASSERT_NE(stream, 0u);
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
    EXPECT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});
  }
  Samples twice = pcm_;
  twice.insert(twice.end(), pcm_.begin(), pcm_.end());
  EXPECT_EQ(CloseAndRead().SoundingLeft(), twice);
}

TEST_F(Playback, SetPositionBeforePlayStartsThere) {
  const HSTREAM stream = NoiseStream(8000, 7, false);
  ASSERT_NE(stream, 0u);
  EXPECT_FALSE(BASS_ChannelSetPosition(stream, pcm_.size() * 2 + 2, BASS_POS_BYTE));
  EXPECT_FALSE(BASS_ChannelSetPosition(stream, 100, 1)) << "only byte positions";
  ASSERT_TRUE(BASS_ChannelSetPosition(stream, 5001, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 5000u) << "whole frames";
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  EXPECT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_EQ(CloseAndRead().SoundingLeft(), Samples(pcm_.begin() + 2500, pcm_.end()));
}

TEST_F(Playback, ChannelsPlayingTogetherAreSummed) {
  ASSERT_TRUE(OpenDisk(16000, true));  // at real pace, so that the two surely overlap
  const Bytes first = WaveImage(Constant(6000, 1000));
  const Bytes second = WaveImage(Constant(6000, 300));
  const HSTREAM a = FromMemory(first);
  const HSTREAM b = FromMemory(second);
  ASSERT_TRUE(BASS_ChannelPlay(a, FALSE));
  ASSERT_TRUE(BASS_ChannelPlay(b, FALSE));
  WaitUntilStopped(a);
  WaitUntilStopped(b);
  const Samples heard = CloseAndRead().SoundingLeft();
  std::set<std::int16_t> values(heard.begin(), heard.end());
  EXPECT_TRUE(values.count(1300)) << "both at once";
  for (std::int16_t v : values) EXPECT_TRUE(v == 1000 || v == 300 || v == 1300) << v;
  // Every frame of each stream is in the output exactly once.
  EXPECT_EQ(std::count_if(heard.begin(), heard.end(), [](auto v) { return v != 300; }), 6000);
  EXPECT_EQ(std::count_if(heard.begin(), heard.end(), [](auto v) { return v != 1000; }), 6000);
}

TEST_F(Playback, ChannelVolumeAndOutputLevelScaleTheSamples) {
  const HSTREAM stream = NoiseStream(6000, 8, false);
  ASSERT_NE(stream, 0u);
  float volume = 0;
  ASSERT_TRUE(BASS_ChannelGetAttribute(stream, BASS_ATTRIB_VOL, &volume));
  EXPECT_EQ(volume, 1.0f);
  ASSERT_TRUE(BASS_ChannelSetAttribute(stream, BASS_ATTRIB_VOL, 0.5f));
  ASSERT_TRUE(BASS_ChannelGetAttribute(stream, BASS_ATTRIB_VOL, &volume));
  EXPECT_EQ(volume, 0.5f);
  EXPECT_EQ(BASS_GetVolume(), 1.0f);
  ASSERT_TRUE(BASS_SetVolume(0.25f));
  EXPECT_EQ(BASS_GetVolume(), 0.25f);
  EXPECT_FALSE(BASS_SetVolume(1.5f));
  EXPECT_FALSE(BASS_SetVolume(-0.1f));
  EXPECT_FALSE(BASS_ChannelSetAttribute(stream, 1, 0.5f)) << "only the volume attribute";
  EXPECT_FALSE(BASS_ChannelGetAttribute(stream, BASS_ATTRIB_VOL, nullptr));

  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  WaitUntilStopped(stream);
  Samples expected(pcm_.size());
  std::transform(pcm_.begin(), pcm_.end(), expected.begin(), [](std::int16_t v) {
    return static_cast<std::int16_t>(std::nearbyint(v * 0.125));
  });
  EXPECT_EQ(CloseAndRead().SoundingLeft(), expected);
}

TEST_F(Playback, DeviceZeroPlaysSilentlyInRealTime) {
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", Path("device.raw").c_str(), 1);
  ASSERT_TRUE(BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr));
  // 20 s: still playing however late a slow machine looks.
  const Bytes image = WaveImage(NonZeroNoise(16000 * 20, 9));
  const HSTREAM stream = FromMemory(image);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  ASSERT_GE(WaitForPosition(stream, 12800), 12800u) << "the position moves on";
  const double position = BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, 0));
  const double after =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_PLAYING});
  // Never ahead of the clock by more than one buffer.
  EXPECT_LE(position, after + 0.012);
  BASS_Free();
  EXPECT_FALSE(std::filesystem::exists(Path("device.raw"))) << "no sound device was opened";
}

TEST_F(Playback, ByteAndSecondConversionsFollowTheStreamFormat) {
  ASSERT_TRUE(OpenDisk(44100, false));
  const Bytes mono16k = WaveImage(NonZeroNoise(1600, 10));
  const Bytes stereo44k = WaveImage(NonZeroNoise(8820, 11), 44100, 2);
  const HSTREAM mono = FromMemory(mono16k);
  const HSTREAM stereo = FromMemory(stereo44k);
  EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(mono, 32000), 1.0);
  EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(stereo, 176400), 1.0);
  EXPECT_EQ(BASS_ChannelSeconds2Bytes(mono, 0.5), 16000u);
  EXPECT_EQ(BASS_ChannelSeconds2Bytes(stereo, 0.1), 17640u);
  EXPECT_EQ(BASS_ChannelSeconds2Bytes(stereo, BASS_ChannelBytes2Seconds(stereo, 4444)), 4444u);
  EXPECT_EQ(BASS_ChannelSeconds2Bytes(mono, -1.0), ~QWORD{0});
  EXPECT_EQ(BASS_ChannelGetLength(stereo, BASS_POS_BYTE), 8820u * 2);
  EXPECT_EQ(BASS_ChannelGetLength(stereo, 1), ~QWORD{0}) << "only byte lengths";
}

}  // namespace
