// SpeechSession over the real engine, as the program uses it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "framework/TextCodec.h"
#include "speech/PiecePipeline.h"
#include "speech/SpeechSession.h"
#include "support/FakeRuntimeServices.h"

namespace {

// Little-endian field of a WAV header.
std::uint32_t Field(const ByteBuffer& image, std::size_t offset, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(image[offset + i]) << (8 * i);
  return value;
}

double Rms(const ByteBuffer& image) {
  double sum = 0;
  const std::size_t samples = (image.size() - 44) / 2;
  for (std::size_t i = 0; i < samples; ++i) {
    std::int16_t s;
    std::memcpy(&s, image.data() + 44 + 2 * i, 2);
    sum += static_cast<double>(s) * s;
  }
  return samples ? std::sqrt(sum / static_cast<double>(samples)) : 0;
}

// Whether two readings sound alike: espeak-ng varies its pitch a little from one reading
// to the next, so the same text never gives the same samples twice; it gives the same
// length and loudness contour (20 ms frames) instead.
bool SoundAlike(const ByteBuffer& a, const ByteBuffer& b) {
  const auto contour = [](const ByteBuffer& pcm) {
    std::vector<double> frames;
    for (std::size_t at = 0; at + 640 <= pcm.size(); at += 640) {
      double sum = 0;
      for (std::size_t i = at; i < at + 640; i += 2) {
        std::int16_t s;
        std::memcpy(&s, pcm.data() + i, 2);
        sum += static_cast<double>(s) * s;
      }
      frames.push_back(std::sqrt(sum / 320));
    }
    return frames;
  };
  const std::vector<double> x = contour(a), y = contour(b);
  const std::size_t n = std::min(x.size(), y.size());
  if (n == 0 || std::abs(static_cast<double>(a.size()) - static_cast<double>(b.size())) >
                    0.01 * static_cast<double>(b.size()))
    return false;
  double mx = 0, my = 0;
  for (std::size_t i = 0; i < n; ++i) mx += x[i] / n, my += y[i] / n;
  double sxy = 0, sxx = 0, syy = 0;
  for (std::size_t i = 0; i < n; ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
  }
  return sxy / std::sqrt(sxx * syy) > 0.95;
}

class SpeechSessionEngineTest : public ::testing::Test {
 protected:
  SpeechSessionEngineTest() { services.programDirectory = ENGINE_FOLDER; }
  void SetUp() override { ASSERT_EQ(session.Initialize(), 0); }
  void TearDown() override { EXPECT_EQ(session.Finalize(), 0); }

  ByteBuffer Read(const Text& text) {
    EXPECT_EQ(session.BeginSession("xiaoyu", 0, 10, 0), 0);
    EXPECT_FALSE(session.SessionId().empty());
    EXPECT_EQ(session.PutText(text), 0);
    return session.ReceiveAudio();
  }

  FakeRuntimeServices services;
  SpeechSession session{services};
};

TEST_F(SpeechSessionEngineTest, AReadingGivesAWaveImageOfAudibleSpeech) {
  const ByteBuffer image = Read("今天天气很好，我们一起去公园散步。");
  ASSERT_GT(image.size(), 44u + 32000u);  // more than a second
  EXPECT_EQ(std::memcmp(image.data(), "RIFF", 4), 0);
  EXPECT_EQ(Field(image, 4, 4), image.size() - 8);
  EXPECT_EQ(Field(image, 40, 4), image.size() - 44);
  EXPECT_EQ(image.size() % 2, 0u);
  EXPECT_GT(Rms(image), 1000.0);
}

TEST_F(SpeechSessionEngineTest, ReadingsFollowOneAnother) {
  const ByteBuffer first = Read("第一段。");
  const Text firstId = session.SessionId();
  const ByteBuffer second = Read("第二段，打开Python编辑器。");
  EXPECT_NE(session.SessionId(), firstId);
  EXPECT_GT(Rms(first), 1000.0);
  EXPECT_GT(Rms(second), 1000.0);
  EXPECT_GT(second.size(), first.size());
}

TEST_F(SpeechSessionEngineTest, AReadingStoppedAndEndedLeavesTheNextOneWorking) {
  Text longText;
  for (int i = 0; i < 100; ++i) longText += "今天天气很好，我们一起去公园散步。";
  session.BeginSession("xiaoyu", 0, 10, 0);
  session.PutText(longText);
  int chunks = 0;
  EXPECT_TRUE(session.ReceiveAudio([&chunks] { return ++chunks < 3; }).empty());
  EXPECT_EQ(session.EndSession(), 0);
  // The next reading ends the same session again on its way: that must not block it.
  EXPECT_GT(Rms(Read("你好。")), 1000.0);
}

TEST_F(SpeechSessionEngineTest, AnEmptyTextGivesTheBareHeader) {
  const ByteBuffer image = Read("");
  ASSERT_EQ(image.size(), 44u);
  EXPECT_EQ(Field(image, 40, 4), 0u);
}

TEST_F(SpeechSessionEngineTest, TextLongerThanTheConfiguredSizeIsReadWhole) {
  Text text;
  for (int i = 0; i < 80; ++i) text += "我们一起去公园散步。";  // 1,600 bytes
  const ByteBuffer shortImage = Read(text);
  const ByteBuffer longImage = Read(text + text + text);  // 4,800 bytes: three pieces
  const double ratio = static_cast<double>(longImage.size() - 44) / (shortImage.size() - 44);
  EXPECT_NEAR(ratio, 3.0, 0.1);
}

// A rule of the pronunciation list: the audio is that of the text written as it is said.
TEST_F(SpeechSessionEngineTest, APronunciationSoundsAsIfItWereWritten) {
  // The pipeline's pieces, gathered.
  struct Gathered : PieceOutlet {
    ByteBuffer pcm;
    bool Take(const std::uint8_t* piece, std::size_t bytes) override {
      pcm.insert(pcm.end(), piece, piece + bytes);
      return true;
    }
    std::int64_t Heard() override { return static_cast<std::int64_t>(pcm.size()); }
    bool Finish() override { return true; }
  };
  const auto speak = [&](const Text& script) {
    PiecePipeline pieces(services, session);
    Gathered gathered;
    EXPECT_EQ(pieces.Run(script, gathered, PiecePipeline::Silence::Refuse),
              PiecePipeline::Outcome::Finished);
    return gathered.pcm;
  };
  const ByteBuffer unruled = speak("用 GitHub 托管");
  const std::string rules = Utf8FromText("GitHub => 吉特哈布\n");
  services.Files()[services.configDirectory + "/pronunciations.txt"] =
      ByteBuffer(rules.begin(), rules.end());
  const ByteBuffer ruled = speak("用 GitHub 托管");
  const ByteBuffer written = speak("用 吉特哈布 托管");
  EXPECT_GT(written.size(), 32000u);
  EXPECT_TRUE(SoundAlike(ruled, written));
  EXPECT_FALSE(SoundAlike(unruled, written));
}

}  // namespace
