// speex.dll, the coding library, through its C API.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "components/speex/speex.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<short> Sine(int rate, double frequency, double amplitude, double seconds) {
  std::vector<short> samples(static_cast<std::size_t>(rate * seconds));
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] =
        static_cast<short>(std::lround(amplitude * std::sin(2 * kPi * frequency * i / rate)));
  return samples;
}

// Converts in blocks of blockSize, as the engine hands over espeak-ng's buffers, then
// flushes when asked.
std::vector<short> Convert(SpeexCodingConverter* converter, const std::vector<short>& input,
                           std::size_t blockSize, bool flush = true) {
  std::vector<short> output;
  for (std::size_t at = 0; at < input.size(); at += blockSize) {
    const unsigned count = static_cast<unsigned>(std::min(blockSize, input.size() - at));
    std::vector<short> block(SpeexCodingOutputBound(converter, count));
    unsigned written = 0;
    EXPECT_EQ(SpeexCodingConvert(converter, input.data() + at, count, block.data(),
                                 static_cast<unsigned>(block.size()), &written),
              SPEEX_CODING_OK);
    output.insert(output.end(), block.begin(), block.begin() + written);
  }
  if (flush) {
    std::vector<short> tail(SpeexCodingOutputBound(converter, 0));
    unsigned written = 0;
    EXPECT_EQ(
        SpeexCodingFlush(converter, tail.data(), static_cast<unsigned>(tail.size()), &written),
        SPEEX_CODING_OK);
    output.insert(output.end(), tail.begin(), tail.begin() + written);
  }
  return output;
}

int Peak(const std::vector<short>& samples, std::size_t from, std::size_t to) {
  int peak = 0;
  for (std::size_t i = from; i < to; ++i)
    peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
  return peak;
}

int RisingZeroCrossings(const std::vector<short>& samples) {
  int crossings = 0;
  for (std::size_t i = 1; i < samples.size(); ++i)
    if (samples[i - 1] < 0 && samples[i] >= 0) ++crossings;
  return crossings;
}

struct Closer {
  void operator()(SpeexCodingConverter* c) const { SpeexCodingClose(c); }
};
using Converter = std::unique_ptr<SpeexCodingConverter, Closer>;

Converter Open(int inputRate, int outputRate, float gain) {
  int error = -1;
  Converter converter(SpeexCodingOpen(inputRate, outputRate, gain, &error));
  EXPECT_EQ(error, SPEEX_CODING_OK);
  return converter;
}

TEST(SpeexCodingTest, TheFlushedStreamHasTheLengthOfTheInputAtTheNewRate) {
  for (const int rate : {16000, 8000}) {
    const Converter converter = Open(22050, rate, 1.0f);
    ASSERT_TRUE(converter);
    const std::vector<short> input = Sine(22050, 440, 8000, 2.0);
    const std::vector<short> unflushed = Convert(converter.get(), input, 8820, false);
    const Converter again = Open(22050, rate, 1.0f);
    const std::vector<short> output = Convert(again.get(), input, 8820);
    const double expected = input.size() * static_cast<double>(rate) / 22050;
    EXPECT_NEAR(static_cast<double>(output.size()), expected, 1.0) << rate;
    EXPECT_LT(unflushed.size(), output.size()) << "the tail comes with the flush";
  }
}

TEST(SpeexCodingTest, ToneKeepsItsPitchAndTakesTheGain) {
  const Converter converter = Open(22050, 16000, 0.5f);
  const std::vector<short> output = Convert(converter.get(), Sine(22050, 1000, 10000, 1.0), 2205);
  // One second of 1 kHz: a thousand periods, at half the amplitude once settled.
  EXPECT_NEAR(RisingZeroCrossings(output), 1000, 2);
  EXPECT_NEAR(Peak(output, 1000, output.size() - 1000), 5000, 150);
}

TEST(SpeexCodingTest, FullScaleInputKeepsHeadroomAtTheEnginesGain) {
  // A square wave makes the filter ring hardest.
  std::vector<short> input(22050);
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = (i / 50) % 2 ? 32767 : -32768;
  for (const int rate : {16000, 8000}) {
    const Converter converter = Open(22050, rate, 0.7f);
    const std::vector<short> output = Convert(converter.get(), input, 2205);
    EXPECT_LT(Peak(output, 0, output.size()), 32767) << rate;
  }
}

TEST(SpeexCodingTest, AfterAFlushTheSameInputGivesTheSameOutput) {
  const Converter converter = Open(22050, 16000, 0.7f);
  const std::vector<short> input = Sine(22050, 300, 12000, 0.5);
  const std::vector<short> first = Convert(converter.get(), input, 4410);
  EXPECT_EQ(Convert(converter.get(), input, 1000), first);
}

TEST(SpeexCodingTest, MisuseIsRefusedWithoutTouchingTheStream) {
  int error = 0;
  EXPECT_EQ(SpeexCodingOpen(7999, 16000, 1.0f, &error), nullptr);
  EXPECT_EQ(error, SPEEX_CODING_ERROR_ARGUMENT);
  EXPECT_EQ(SpeexCodingOpen(22050, 192001, 1.0f, &error), nullptr);
  EXPECT_EQ(error, SPEEX_CODING_ERROR_ARGUMENT);
  EXPECT_EQ(SpeexCodingOpen(22050, 16000, 0.0f, nullptr), nullptr);
  EXPECT_EQ(SpeexCodingOpen(22050, 16000, NAN, nullptr), nullptr);
  EXPECT_EQ(SpeexCodingOutputBound(nullptr, 100), 0u);
  SpeexCodingClose(nullptr);

  const Converter converter = Open(22050, 16000, 1.0f);
  const std::vector<short> input = Sine(22050, 440, 8000, 0.2);
  std::vector<short> output(SpeexCodingOutputBound(converter.get(), 4410));
  unsigned written = 99;
  EXPECT_EQ(SpeexCodingConvert(converter.get(), input.data(), 4410, output.data(),
                               static_cast<unsigned>(output.size() - 1), &written),
            SPEEX_CODING_ERROR_CAPACITY);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(SpeexCodingConvert(converter.get(), nullptr, 4410, output.data(),
                               static_cast<unsigned>(output.size()), &written),
            SPEEX_CODING_ERROR_ARGUMENT);
  EXPECT_EQ(SpeexCodingConvert(nullptr, input.data(), 4410, output.data(),
                               static_cast<unsigned>(output.size()), &written),
            SPEEX_CODING_ERROR_ARGUMENT);
  EXPECT_EQ(SpeexCodingFlush(converter.get(), output.data(), 0, &written),
            SPEEX_CODING_ERROR_CAPACITY);
  // Nothing was consumed: the stream converts as a fresh one does.
  const Converter fresh = Open(22050, 16000, 1.0f);
  EXPECT_EQ(Convert(converter.get(), input, 4410), Convert(fresh.get(), input, 4410));
}

}  // namespace
