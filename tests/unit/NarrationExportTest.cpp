#include "speech/NarrationExport.h"

#include <gtest/gtest.h>

#include "app/NarrationHandlers.h"
#include "app/Program.h"
#include "framework/TextCodec.h"
#include "speech/ScriptClauses.h"
#include "support/FakeRuntimeServices.h"
#include "support/ProgramFolder.h"

namespace {

std::vector<Text> Clauses(const Text& script) {
  std::vector<Text> out;
  for (const ScriptClause& clause : SplitIntoClauses(script))
    out.push_back(std::to_string(clause.sentence) + ":" +
                  script.substr(clause.begin, clause.end - clause.begin));
  return out;
}

TEST(ScriptClausesTest, SentencesAndClausesEndWherePeopleWouldPause) {
  EXPECT_EQ(Clauses("Pi is 3.14, roughly. 你好！“好的。”\r\n第二行，没有标点"),
            (std::vector<Text>{"0:Pi is 3.14,", "0: roughly.", "1: 你好！", "2:“好的。”",
                               "3:第二行，", "3:没有标点"}));
  // Nothing to say: no clauses, and a lone mark does not open a sentence of its own.
  EXPECT_TRUE(SplitIntoClauses(" 。，……\r\n").empty());
  // A long run without marks is cut, at a space when there is one, never in a word.
  const Text words(
      "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi "
      "rho sigma tau upsilon phi chi psi omega and then some more words to go on with");
  const auto cut = Clauses(words);
  ASSERT_GE(cut.size(), 2u);
  Text joined;
  for (const Text& piece : cut) {
    EXPECT_EQ(piece.substr(0, 2), "0:");
    EXPECT_TRUE(piece.back() == ' ' || &piece == &cut.back()) << piece;
    joined += piece.substr(2);
  }
  EXPECT_EQ(joined, words);
}

// The export against the fake, with the recording engine: every piece is a session of
// its own, and its samples place the cues.
class NarrationExportTest : public ::testing::Test {
 protected:
  template <typename Function>
  Function* Recorder(const char* name) {
    return reinterpret_cast<Function*>(services.LibraryFunctionAddress("msc.dll", name));
  }
  void SetUp() override { Recorder<void()>("RecorderReset")(); }
  void QueueSeconds(double seconds, int error = 0) {
    static const std::vector<std::uint8_t> pcm(16000 * 2 * 8, 0x11);
    Recorder<void(const void*, unsigned, int, int)>("RecorderQueueAudio")(
        pcm.data(), static_cast<unsigned>(seconds * 32000), 2, error);
  }
  void ChooseFile(const Text& path) {
    services.ScriptDialog(Control::通用对话框3, {true, {{Property::FileName, Value(path)}}});
  }
  int OutFiles() {
    int count = 0;
    for (const auto& [path, bytes] : services.Files()) count += path.starts_with("/out/");
    return count;
  }
  Text Srt() {
    const ByteBuffer bytes = services.Files()["/out/n.srt"];
    return TextFromUtf8(std::string(bytes.begin(), bytes.end()));
  }

  FakeRuntimeServices services;
  ProgramFolder folder{services};
  Program program{services};
};

TEST_F(NarrationExportTest, WritesTheAudioAndOneCuePerSentenceSplittingLongOnesAtClauses) {
  services.Preset(Control::编辑框1, Property::Content,
                  Text("第一句。\r\n长句一，长句二，长句三。"));
  for (double seconds : {1.0, 3.0, 3.0, 3.0}) QueueSeconds(seconds);
  ChooseFile("/out/n.wav");
  ExportNarrationClicked(program);

  EXPECT_EQ(services.Files()["/out/n.wav"].size(), 44u + 10 * 32000);
  EXPECT_EQ(Srt(),
            "1\r\n00:00:00,000 --> 00:00:01,000\r\n第一句。\r\n\r\n"
            "2\r\n00:00:01,000 --> 00:00:07,000\r\n长句一，长句二，\r\n\r\n"
            "3\r\n00:00:07,000 --> 00:00:10,000\r\n长句三。\r\n\r\n");
  int textPuts = 0;
  for (int i = 0; i < Recorder<int()>("RecorderCallCount")(); ++i)
    textPuts +=
        std::string(Recorder<const char*(int)>("RecorderCall")(i)).starts_with("QTTSTextPut");
  EXPECT_EQ(textPuts, 4);
}

TEST_F(NarrationExportTest, CancelOrAFailedPieceLeavesNoFileBehind) {
  services.Preset(Control::编辑框1, Property::Content, Text("一。二。三。"));
  for (double seconds : {1.0, 1.0, 1.0}) QueueSeconds(seconds);
  services.progressCancelsAt = 2;
  ChooseFile("/out/n.wav");
  ExportNarrationClicked(program);
  EXPECT_EQ(OutFiles(), 0);
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty()) << "a cancel needs no message";

  Recorder<void()>("RecorderReset")();
  services.progressCancelsAt = -1;
  QueueSeconds(1.0);
  QueueSeconds(0, 10112);
  ChooseFile("/out/n.wav");
  ExportNarrationClicked(program);
  EXPECT_EQ(OutFiles(), 0);
  EXPECT_FALSE(services.CallsOf<MessageBoxCall>().empty());
}

}  // namespace
