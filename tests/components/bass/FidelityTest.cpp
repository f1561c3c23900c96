// What is heard is what the data holds: resampling without added sound or lost
// frames, and every format at its own level, measured against sox's decoding.
#include <cmath>

#include "BassFixture.h"

using namespace audio_files;

namespace {

class Fidelity : public BassFixture {};

// A cosine of 1000 whole cycles, so that it starts and ends at its peak (never taken
// for silence).
Samples Cosine(int rate, double amplitude) {
  Samples out(static_cast<std::size_t>(rate));
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] =
        static_cast<std::int16_t>(std::lround(amplitude * std::cos(2 * M_PI * 1000.0 * i / rate)));
  return out;
}

// Energy of everything but the 1 kHz tone (least-squares fit of the tone and an
// offset), relative to the whole, in dB; edges with the onset's ringing left out.
double ResidueDb(const Samples& heard, int rate) {
  const std::size_t edge = static_cast<std::size_t>(rate / 50);
  double m[3][3] = {}, v[3] = {}, total = 0;
  for (std::size_t i = edge; i + edge < heard.size(); ++i) {
    const double phase = 2 * M_PI * 1000.0 * static_cast<double>(i) / rate;
    const double basis[3] = {std::cos(phase), std::sin(phase), 1.0};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) m[r][c] += basis[r] * basis[c];
      v[r] += basis[r] * heard[i];
    }
    total += static_cast<double>(heard[i]) * heard[i];
  }
  // Cramer's rule for the three coefficients.
  const auto det = [](double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  };
  double coefficients[3];
  for (int k = 0; k < 3; ++k) {
    double replaced[3][3];
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) replaced[r][c] = c == k ? v[r] : m[r][c];
    coefficients[k] = det(replaced) / det(m);
  }
  double residue = 0;
  for (std::size_t i = edge; i + edge < heard.size(); ++i) {
    const double phase = 2 * M_PI * 1000.0 * static_cast<double>(i) / rate;
    const double fit =
        coefficients[0] * std::cos(phase) + coefficients[1] * std::sin(phase) + coefficients[2];
    residue += (heard[i] - fit) * (heard[i] - fit);
  }
  return 10 * std::log10(residue / total);
}

double RmsDb(const Samples& samples) {
  double sum = 0;
  for (std::int16_t s : samples) sum += static_cast<double>(s) * s;
  return 10 * std::log10(sum / static_cast<double>(samples.size()));
}

TEST_F(Fidelity, ResamplingAddsNothingAudibleAndKeepsEveryFrame) {
  for (const int rate : {48000, 16000}) {
    SCOPED_TRACE(rate);
    // At the device's real pace, so that no gap of a lagging feeder is in the output.
    ASSERT_TRUE(OpenDisk(44100, true));
    const Bytes image = WaveImage(Cosine(rate, 16000), rate);
    const HSTREAM stream = FromMemory(image);
    ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
    ASSERT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});
    const Samples heard = CloseAndRead().LeftSpan();
    EXPECT_NEAR(static_cast<double>(heard.size()), 44100.0, 1.0) << "one second, exactly";
    EXPECT_LT(ResidueDb(heard, 44100), -60.0);
  }
}

// A quiet tone (peak 0.13) in each format, played on a device at its own rate, has
// the level that sox decodes from the same file.
TEST_F(Fidelity, EveryFormatPlaysAtTheLevelSoxDecodes) {
  const Samples tone = Sine(44100, 44100, 440, 0.13 * 32768);
  WriteFile(Path("tone.wav"), WaveImage(tone, 44100));
  ASSERT_TRUE(RunCommand("cd '" + Path("") +
                         "' && sox tone.wav tone.flac && sox tone.wav tone.ogg" +
                         " && lame --quiet tone.wav tone.mp3"));
  for (const char* name : {"tone.wav", "tone.flac", "tone.ogg", "tone.mp3"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(RunCommand("sox '" + Path(name) + "' -b 16 '" + Path("reference.wav") + "'"));
    const Samples reference = DecodeWithSndfile(ReadFile(Path("reference.wav")));
    ASSERT_TRUE(OpenDisk(44100, false));
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, Path(name).c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelPlay(stream, FALSE));
    ASSERT_EQ(WaitUntilStopped(stream).back(), DWORD{BASS_ACTIVE_STOPPED});
    const Samples heard = WithoutZeroRuns(CloseAndRead().LeftSpan());
    EXPECT_NEAR(RmsDb(heard), RmsDb(reference), 0.5);
  }
}

}  // namespace
