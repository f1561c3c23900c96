#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Building audio data for the tests and reading back what reached the device.
namespace audio_files {

using Samples = std::vector<std::int16_t>;
using Bytes = std::vector<std::uint8_t>;

// A WAV file image: 44-byte header and 16-bit PCM (interleaved when stereo), the
// layout the program builds its WaveImage in.
Bytes WaveImage(const Samples& pcm, int rate = 16000, int channels = 1);
// A WAV with any integer or float sample layout; samples are given as raw
// little-endian bytes. extensible wraps the format in WAVE_FORMAT_EXTENSIBLE.
Bytes WavWithFormat(int tag, int channels, int rate, int bits, const Bytes& data,
                    bool extensible = false);

// Values that are never 0, so that silence the device adds can be told apart.
Samples NonZeroNoise(std::size_t count, unsigned seed);
Samples Sine(std::size_t count, int rate, double hertz, double amplitude);
Samples Constant(std::size_t count, std::int16_t value);

// Encodes 16-bit mono or stereo PCM with libsndfile: format is SF_FORMAT_FLAC or
// SF_FORMAT_OGG | SF_FORMAT_VORBIS etc.
Bytes EncodeWithSndfile(const Samples& pcm, int rate, int channels, int format);
// Decodes any file libsndfile reads; rate and channels are set when given.
Samples DecodeWithSndfile(const Bytes& file, int* rate = nullptr, int* channels = nullptr);

// The parts one after the other.
Bytes Join(const std::vector<Bytes>& parts);

Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);
// Runs a shell command; true when it exited with 0.
bool RunCommand(const std::string& command);

// The stereo 16-bit output that SDL's disk driver wrote.
struct DeviceOutput {
  Samples left;
  Samples right;
  // Frames that are not silence in both channels, in order (drops the silence the
  // device writes before, between and after sounds).
  Samples SoundingLeft() const;
  Samples SoundingRight() const;
  // Left from the first to the last sounding frame.
  Samples LeftSpan() const;
};
DeviceOutput ReadDeviceOutput(const std::string& path);

// Removes runs of at least minRun exact zeros (gaps a device fed faster than real
// time may show while a stream's decoder catches up).
Samples WithoutZeroRuns(const Samples& samples, std::size_t minRun = 4);

// The best normalised correlation of actual against expected over lags -maxLag..maxLag.
double BestCorrelation(const Samples& expected, const Samples& actual, int maxLag);

// Lengths of the common prefix and the common suffix of two sequences.
std::size_t CommonPrefix(const Samples& a, const Samples& b);
std::size_t CommonSuffix(const Samples& a, const Samples& b);

}  // namespace audio_files
