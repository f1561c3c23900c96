// Where streams come from (memory in place, files, offsets) and the formats they
// are decoded from.
#include <sndfile.h>

#include <cmath>

#include "BassFixture.h"

using namespace audio_files;

namespace {

class Sources : public BassFixture {
 protected:
  // Plays the stream to its end on a fast 16-bit device and returns what sounded.
  DeviceOutput PlayOut(HSTREAM stream) {
    EXPECT_NE(stream, 0u);
    EXPECT_TRUE(BASS_ChannelPlay(stream, FALSE));
    EXPECT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});
    return CloseAndRead();
  }
  static Bytes Le16(const Samples& samples) {
    Bytes out;
    for (std::int16_t s : samples) {
      out.push_back(static_cast<std::uint8_t>(s));
      out.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8));
    }
    return out;
  }
};

TEST_F(Sources, MemoryStreamReadsTheCallersBytesInPlace) {
  ASSERT_TRUE(OpenDisk(16000, false));
  const Samples original = NonZeroNoise(8000, 20);
  Bytes image = WaveImage(original);
  const HSTREAM stream = FromMemory(image);
  ASSERT_NE(stream, 0u);
  // Bytes changed after the stream was made are the ones that play.
  const Samples replacement = NonZeroNoise(8000, 21);
  const Bytes pcm = Le16(replacement);
  std::copy(pcm.begin(), pcm.end(), image.begin() + 44);
  EXPECT_EQ(PlayOut(stream).SoundingLeft(), replacement);
}

TEST_F(Sources, FileStreamStartsAtTheOffsetAndStopsAfterTheLength) {
  ASSERT_TRUE(OpenDisk(16000, false));
  const Samples pcm = NonZeroNoise(6000, 22);
  const Bytes wav = WaveImage(pcm);
  // Something before the audio and something after it.
  const Bytes file = Join({Bytes(333, 0x5A), wav, Bytes(500, 0x33)});
  WriteFile(Path("padded.bin"), file);

  EXPECT_EQ(BASS_StreamCreateFile(FALSE, Path("padded.bin").c_str(), 0, 0, 0), 0u)
      << "from the start it is not audio";
  const HSTREAM stream = BASS_StreamCreateFile(FALSE, Path("padded.bin").c_str(), 333, 0, 0);
  ASSERT_NE(stream, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(stream, BASS_POS_BYTE), pcm.size() * 2)
      << "the data chunk, not the bytes after it";
  // A length that cuts the data short shortens the stream.
  const HSTREAM cut = BASS_StreamCreateFile(FALSE, Path("padded.bin").c_str(), 333, 44 + 2000, 0);
  EXPECT_EQ(BASS_ChannelGetLength(cut, BASS_POS_BYTE), 2000u);
  BASS_StreamFree(cut);
  EXPECT_EQ(PlayOut(stream).SoundingLeft(), pcm);
}

TEST_F(Sources, FileNamesAreUtf8OrWithTheUnicodeFlagUtf16) {
  ASSERT_TRUE(OpenDisk(16000, false));
  const Bytes wav = WaveImage(NonZeroNoise(1000, 23));
  const std::string name = Path("朗读.wav");
  WriteFile(name, wav);
  EXPECT_NE(BASS_StreamCreateFile(FALSE, name.c_str(), 0, 0, 0), 0u);
  const std::string folder = Path("");  // ASCII, so it widens byte by byte
  std::u16string full(folder.begin(), folder.end());
  full += u"朗读.wav";
  EXPECT_NE(BASS_StreamCreateFile(FALSE, full.c_str(), 0, 0, BASS_UNICODE), 0u);
  const char16_t broken[] = {u'/', 0xD800, u'a', 0};
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, broken, 0, 0, BASS_UNICODE), 0u);
}

TEST_F(Sources, WavSampleLayoutsBecome16BitPcm) {
  ASSERT_TRUE(OpenDisk(16000, false));
  const Samples pcm = NonZeroNoise(3000, 24);
  // 8-bit unsigned: the high byte only.
  Bytes eight;
  Samples eightExpected;
  for (std::int16_t s : pcm) {
    const int high = (s / 256) == 0 ? 1 : s / 256;
    eight.push_back(static_cast<std::uint8_t>(high + 128));
    eightExpected.push_back(static_cast<std::int16_t>(high * 256));
  }
  // 24-bit: the top two bytes are the sample, the low byte is dropped.
  Bytes twentyFour;
  for (std::int16_t s : pcm) {
    twentyFour.push_back(0x7F);
    twentyFour.push_back(static_cast<std::uint8_t>(s));
    twentyFour.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8));
  }
  // 32-bit float: exact for values n/32768.
  Bytes floats;
  for (std::int16_t s : pcm) {
    const float f = s / 32768.0f;
    const auto* p = reinterpret_cast<const std::uint8_t*>(&f);
    floats.insert(floats.end(), p, p + 4);
  }
  const Bytes images[] = {
      WavWithFormat(1, 1, 16000, 8, eight), WavWithFormat(1, 1, 16000, 24, twentyFour),
      WavWithFormat(3, 1, 16000, 32, floats), WavWithFormat(1, 1, 16000, 16, Le16(pcm), true)};
  std::vector<HSTREAM> streams;
  for (const Bytes& image : images) {
    streams.push_back(FromMemory(image));
    ASSERT_NE(streams.back(), 0u);
    EXPECT_EQ(BASS_ChannelGetLength(streams.back(), BASS_POS_BYTE), pcm.size() * 2);
  }
  // One after the other, each to its end.
  for (HSTREAM stream : streams) {
    ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
    WaitUntilStopped(stream);
  }
  Samples expected = eightExpected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), pcm.begin(), pcm.end());
  EXPECT_EQ(CloseAndRead().SoundingLeft(), expected);
}

TEST_F(Sources, StereoKeepsItsChannelsApart) {
  ASSERT_TRUE(OpenDisk(44100, false));
  const Samples left = NonZeroNoise(4000, 25);
  const Samples right = NonZeroNoise(4000, 26);
  Samples interleaved;
  for (std::size_t i = 0; i < left.size(); ++i) {
    interleaved.push_back(left[i]);
    interleaved.push_back(right[i]);
  }
  const Bytes image = WaveImage(interleaved, 44100, 2);
  const DeviceOutput output = PlayOut(FromMemory(image));
  EXPECT_EQ(output.SoundingLeft(), left);
  EXPECT_EQ(output.SoundingRight(), right);
}

TEST_F(Sources, FlacDecodesExactly) {
  ASSERT_TRUE(OpenDisk(16000, false));
  const Samples pcm = NonZeroNoise(10000, 27);
  const Bytes flac = EncodeWithSndfile(pcm, 16000, 1, SF_FORMAT_FLAC);
  ASSERT_FALSE(flac.empty());
  const HSTREAM stream = FromMemory(flac);
  EXPECT_EQ(BASS_ChannelGetLength(stream, BASS_POS_BYTE), pcm.size() * 2);
  EXPECT_EQ(PlayOut(stream).SoundingLeft(), pcm);
}

TEST_F(Sources, OggVorbisPlaysTheSameSound) {
  ASSERT_TRUE(OpenDisk(16000, false));
  const Samples tone = Sine(16000, 16000, 700, 8000);
  const Bytes ogg = EncodeWithSndfile(tone, 16000, 1, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
  ASSERT_FALSE(ogg.empty());
  const Samples heard = WithoutZeroRuns(PlayOut(FromMemory(ogg)).LeftSpan());
  EXPECT_NEAR(static_cast<double>(heard.size()), 16000.0, 160.0);
  EXPECT_GT(BestCorrelation(tone, heard, 200), 0.95);
}

// The length reported is what plays, and what ffmpeg decodes (lame's header says more).
TEST_F(Sources, Mp3FromLameFileAndMemoryPlaysToTheEnd) {
  const Samples tone = Sine(56448, 22050, 440, 8000);
  WriteFile(Path("tone.wav"), WaveImage(tone, 22050));
  ASSERT_TRUE(RunCommand("lame --quiet '" + Path("tone.wav") + "' '" + Path("tone.mp3") + "'"))
      << "lame is needed for the MP3 tests";
  ASSERT_TRUE(RunCommand("ffmpeg -v error -i '" + Path("tone.mp3") + "' -f s16le '" +
                         Path("ffmpeg.raw") + "'"));
  const Samples reference(ReadFile(Path("ffmpeg.raw")).size() / 2);
  const Bytes mp3 = ReadFile(Path("tone.mp3"));

  ASSERT_TRUE(OpenDisk(22050, false));
  const HSTREAM memory = FromMemory(mp3);
  const HSTREAM file = BASS_StreamCreateFile(FALSE, Path("tone.mp3").c_str(), 0, 0, 0);
  ASSERT_NE(memory, 0u);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(memory, BASS_POS_BYTE), reference.size() * 2);
  EXPECT_EQ(BASS_ChannelGetLength(file, BASS_POS_BYTE), reference.size() * 2);
  ASSERT_TRUE(BASS_ChannelPlay(file, FALSE));
  EXPECT_EQ(WaitUntilStopped(file).back(), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_EQ(BASS_ChannelGetPosition(file, BASS_POS_BYTE), reference.size() * 2);
  const Samples heard = WithoutZeroRuns(CloseAndRead().LeftSpan());
  EXPECT_GT(BestCorrelation(tone, heard, 2000), 0.95);
}

}  // namespace
