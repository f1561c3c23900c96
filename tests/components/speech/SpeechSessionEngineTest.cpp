// SpeechSession over the real engine, as the program uses it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

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

}  // namespace
