// Push streams (BASS_StreamCreate with STREAMPROC_PUSH, BASS_StreamPutData) through
// SDL's disk driver: pieces pushed while playing, an underrun, what the position counts.
#include "BassFixture.h"

using namespace audio_files;

namespace {

class PushStream : public BassFixture {
 protected:
  static DWORD Put(HSTREAM stream, const Samples& pcm, bool end = false) {
    return BASS_StreamPutData(stream, pcm.data(),
                              static_cast<DWORD>(pcm.size() * 2) | (end ? BASS_STREAMPROC_END : 0));
  }
};

TEST_F(PushStream, PiecesPushedWhilePlayingComeOutGapFreeAndInOrder) {
  ASSERT_TRUE(OpenDisk(16000, true));
  const HSTREAM stream = BASS_StreamCreate(16000, 1, 0, STREAMPROC_PUSH, nullptr);
  ASSERT_NE(stream, 0u);
  Samples all;
  std::vector<Samples> pieces;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    pieces.push_back(NonZeroNoise(3200, seed));  // 0.2 s each
    all.insert(all.end(), pieces.back().begin(), pieces.back().end());
  }
  EXPECT_EQ(Put(stream, pieces[0]), 6400u);
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  // Each next piece goes in once the one before has begun to be heard.
  QWORD pushed = 6400;
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    ASSERT_GT(WaitForPosition(stream, pushed - 6400 + 1), pushed - 6400);
    Put(stream, pieces[i], i + 1 == pieces.size());
    pushed += 6400;
  }
  const std::vector<DWORD> states = WaitUntilStopped(stream);
  ASSERT_EQ(states.back(), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), all.size() * 2);
  EXPECT_EQ(BASS_StreamPutData(stream, all.data(), 2), static_cast<DWORD>(-1)) << "ended";

  const DeviceOutput output = CloseAndRead();
  EXPECT_EQ(output.LeftSpan(), all) << "no gap, nothing lost, repeated or reordered";
}

TEST_F(PushStream, AnUnderrunStallsSilentlyWithThePositionAtWhatWasHeardThenGoesOn) {
  ASSERT_TRUE(OpenDisk(16000, true));
  EXPECT_EQ(BASS_StreamCreate(16000, 1, 0, nullptr, nullptr), 0u) << "only push streams";
  const HSTREAM stream = BASS_StreamCreate(16000, 1, 0, STREAMPROC_PUSH, nullptr);
  ASSERT_NE(stream, 0u);
  const Samples first = NonZeroNoise(1600, 7), second = NonZeroNoise(1600, 8);
  Put(stream, first);
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  EXPECT_EQ(WaitForPosition(stream, first.size() * 2), first.size() * 2)
      << "all that was pushed is heard, no more";
  EXPECT_EQ(BASS_ChannelIsActive(stream), DWORD{BASS_ACTIVE_STALLED});
  Put(stream, second, true);
  const std::vector<DWORD> states = WaitUntilStopped(stream);
  ASSERT_EQ(states.back(), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), (first.size() + second.size()) * 2);

  // The gap is pure silence: every sound sample is the data's, in order.
  Samples both = first;
  both.insert(both.end(), second.begin(), second.end());
  const DeviceOutput output = CloseAndRead();
  EXPECT_EQ(output.SoundingLeft(), both);
}

}  // namespace
