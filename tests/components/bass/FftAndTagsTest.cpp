// FFT spectra of what is playing and ID3v1 tags of tagged MP3 files.
#include <algorithm>
#include <cstring>

#include "BassFixture.h"

using namespace audio_files;
using namespace std::chrono_literals;

namespace {

class SpectrumAndTags : public BassFixture {
 protected:
  // The spectrum of a tone once a tenth of a second of it was heard on the silent
  // real-time device: the window (at most 1024 frames) holds nothing but the tone.
  // The tone lasts 20 s, so that it still plays however late the poll notices.
  std::vector<float> SpectrumOf(double hertz, DWORD flag, std::size_t bins, int rate) {
    if (!BASS_Init(0, 44100, 0, nullptr, nullptr)) return {};
    image_ = WaveImage(Sine(static_cast<std::size_t>(rate) * 20, rate, hertz, 16384), rate);
    const HSTREAM stream = FromMemory(image_);
    BASS_ChannelPlay(stream, FALSE);
    const QWORD tenth = static_cast<QWORD>(rate) / 10 * 2;
    EXPECT_GE(WaitForPosition(stream, tenth), tenth);
    std::vector<float> values(bins + 1, -1.0f);
    const DWORD written = BASS_ChannelGetData(stream, values.data(), flag);
    EXPECT_EQ(written, bins * sizeof(float));
    EXPECT_EQ(values[bins], -1.0f) << "nothing written past the bins";
    values.resize(bins);
    BASS_Free();
    return values;
  }
  static std::size_t Peak(const std::vector<float>& values) {
    return static_cast<std::size_t>(std::max_element(values.begin() + 1, values.end()) -
                                    values.begin());
  }
  Bytes image_;
};

TEST_F(SpectrumAndTags, FftOfA1kHzSinePeaksInItsBin) {
  // 256 points at 16 kHz: 62.5 Hz a bin, so 1 kHz is bin 16 and 2.5 kHz bin 40.
  const std::vector<float> one = SpectrumOf(1000, BASS_DATA_FFT256, 128, 16000);
  ASSERT_EQ(one.size(), 128u);
  EXPECT_EQ(Peak(one), 16u);
  EXPECT_NEAR(one[16], 0.5f, 0.1f) << "half scale reads about 0.5";
  std::vector<float> others(one);
  others.erase(others.begin() + 14, others.begin() + 19);
  EXPECT_LT(*std::max_element(others.begin(), others.end()), one[16] / 100);

  const std::vector<float> other = SpectrumOf(2500, BASS_DATA_FFT256, 128, 16000);
  EXPECT_EQ(Peak(other), 40u);
  // 1024 points at 44.1 kHz: 43.07 Hz a bin, so 1 kHz lands in bin 23.
  const std::vector<float> fine = SpectrumOf(1000, BASS_DATA_FFT1024, 512, 44100);
  EXPECT_EQ(Peak(fine), 23u);
}

TEST_F(SpectrumAndTags, SpectrumNeedsAPlayingChannelAndAnFftFlag) {
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
  const Bytes image = WaveImage(Sine(16000, 16000, 1000, 16384));
  const HSTREAM stream = FromMemory(image);
  float values[4096];
  EXPECT_EQ(BASS_ChannelGetData(stream, values, BASS_DATA_FFT256), ~DWORD{0}) << "not playing";
  ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
  EXPECT_EQ(BASS_ChannelGetData(stream, nullptr, BASS_DATA_FFT256), ~DWORD{0});
  EXPECT_EQ(BASS_ChannelGetData(stream, values, 1024), ~DWORD{0}) << "raw sample data";
  EXPECT_EQ(BASS_ChannelGetData(stream, values, BASS_DATA_FFT4096 + 1), ~DWORD{0});
  EXPECT_EQ(BASS_ChannelGetData(stream, values, BASS_DATA_FFT4096), 2048 * sizeof(float));
  ASSERT_TRUE(BASS_ChannelPause(stream));
  EXPECT_EQ(BASS_ChannelGetData(stream, values, BASS_DATA_FFT256), 128 * sizeof(float))
      << "paused is still what is being heard";
}

// Tags written by lame and by id3v2, read back through the stream.
TEST_F(SpectrumAndTags, Id3v1TagsOfTaggedMp3Files) {
  WriteFile(Path("tone.wav"), WaveImage(Sine(16000, 16000, 440, 8000)));
  ASSERT_TRUE(RunCommand("lame --quiet -b 64 --id3v1-only --tt 'Lesson One' --ta 'Orvane' '" +
                         Path("tone.wav") + "' '" + Path("lame.mp3") + "'"));
  ASSERT_TRUE(
      RunCommand("lame --quiet -b 64 '" + Path("tone.wav") + "' '" + Path("plain.mp3") + "'"));
  ASSERT_TRUE(RunCommand("cp '" + Path("plain.mp3") + "' '" + Path("id3v2.mp3") +
                         "' && id3v2 -1 -t 'Second' -a 'Someone' '" + Path("id3v2.mp3") +
                         "' >/dev/null"))
      << "id3v2 is needed for this test";
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));

  const Bytes lame = ReadFile(Path("lame.mp3"));
  const HSTREAM fromMemory = FromMemory(lame);
  ASSERT_NE(fromMemory, 0u);
  const char* tag = BASS_ChannelGetTags(fromMemory, BASS_TAG_ID3);
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(std::memcmp(tag, lame.data() + lame.size() - 128, 128), 0)
      << "the file's last 128 bytes";
  EXPECT_EQ(std::string(tag, 13), "TAGLesson One");
  EXPECT_EQ(std::string(tag + 33), "Orvane") << "artist field";
  EXPECT_EQ(tag[128], 0) << "ends in a zero byte";
  EXPECT_EQ(BASS_ChannelGetTags(fromMemory, 1), nullptr) << "only ID3v1";

  const HSTREAM fromFile = BASS_StreamCreateFile(FALSE, Path("id3v2.mp3").c_str(), 0, 0, 0);
  ASSERT_NE(fromFile, 0u);
  tag = BASS_ChannelGetTags(fromFile, BASS_TAG_ID3);
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(std::string(tag, 9), "TAGSecond");
  EXPECT_EQ(std::string(tag + 33, 7), "Someone");

  const HSTREAM untagged = BASS_StreamCreateFile(FALSE, Path("plain.mp3").c_str(), 0, 0, 0);
  ASSERT_NE(untagged, 0u);
  EXPECT_EQ(BASS_ChannelGetTags(untagged, BASS_TAG_ID3), nullptr);
  const Bytes wav = WaveImage(Sine(1600, 16000, 440, 8000));
  EXPECT_EQ(BASS_ChannelGetTags(FromMemory(wav), BASS_TAG_ID3), nullptr);
}

}  // namespace
