#include "speech/NarrationExport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/NarrationHandlers.h"
#include "app/Program.h"
#include "app/StartupAndExit.h"
#include "framework/TextCodec.h"
#include "framework/TextOperations.h"
#include "speech/Pronunciations.h"
#include "speech/ScriptClauses.h"
#include "speech/SubtitleCues.h"
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

// Columns of a line: one for ASCII, two for a wide character.
int Columns(const Text& line) {
  int columns = 0;
  for (std::size_t i = 0; i < line.size(); i += CharacterLengthAt(line, i))
    columns += static_cast<unsigned char>(line[i]) < 0x80 ? 1 : 2;
  return columns;
}

// The runs of ASCII without white space (words, numbers, URLs) in order.
std::vector<Text> AsciiRuns(const Text& text) {
  std::vector<Text> runs(1);
  for (std::size_t i = 0; i < text.size(); i += CharacterLengthAt(text, i)) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte > 0x20 && byte < 0x7F)
      runs.back() += text[i];
    else if (!runs.back().empty())
      runs.emplace_back();
  }
  if (runs.back().empty()) runs.pop_back();
  return runs;
}

Text WithoutWhiteSpace(const Text& text) {
  Text out;
  for (std::size_t i = 0; i < text.size(); i += CharacterLengthAt(text, i)) {
    const Text c = text.substr(i, CharacterLengthAt(text, i));
    if (!(c.size() == 1 && static_cast<unsigned char>(c[0]) <= 0x20) && c != "　") out += c;
  }
  return out;
}

TEST(SubtitleCuesTest, EveryCharacterShowsOnceInShortCuesOfTwoLinesWithWordsWhole) {
  const Text script =
      "第一步：打印 Hello, World!——这是每个教程的开头。\r\n"
      "def greet(name):，然后运行它。\r\n\r\n"
      "打开 https://example.com/docs/getting-started-with-the-editor 下载安装包，"
      "版本号是 3.14.159，大小约为 1,024 "
      "MB，下载完成以后双击安装包并按照向导提示一步一步完成安装\r\n"
      "Then open the settings page and choose the voice you like best for the narration of "
      "your tutorial video before you start recording\r\n"
      "，最后一行以标点开头";
  // Synthetic timing of a usual reading: 250 ms a wide character, 65 ms a letter.
  std::vector<HeardClause> heard;
  std::int64_t at = 0;
  for (const ScriptClause& clause : SplitIntoClauses(script)) {
    const std::int64_t samples =
        16 * (Columns(script.substr(clause.begin, clause.end - clause.begin)) * 65 + 800);
    heard.push_back({clause.begin, at, at + samples, clause.sentence});
    at += samples;
  }
  const std::vector<NarrationCue> cues = LayOutCues(script, heard);

  Text shown;
  for (const NarrationCue& cue : cues) {
    shown += cue.text + " ";
    EXPECT_GT(cue.endSample, cue.firstSample);
    EXPECT_LE(cue.endSample - cue.firstSample, 7 * 16000) << cue.text;
    const std::size_t newline = cue.text.find('\n');
    EXPECT_EQ(cue.text.find('\n', newline + 1), Text::npos) << cue.text;
    for (const Text& line : {cue.text.substr(0, newline),
                             newline == Text::npos ? Text() : cue.text.substr(newline + 1)})
      EXPECT_TRUE(Columns(line) <= 36 || AsciiRuns(line).size() == 1) << line;
  }
  EXPECT_EQ(cues.front().firstSample, 0);
  EXPECT_EQ(cues.back().endSample, at);
  for (std::size_t i = 1; i < cues.size(); ++i)
    EXPECT_EQ(cues[i].firstSample, cues[i - 1].endSample);
  EXPECT_EQ(WithoutWhiteSpace(shown), WithoutWhiteSpace(script));
  EXPECT_EQ(AsciiRuns(shown), AsciiRuns(script)) << "a word, number or URL was cut";
  EXPECT_NE(shown.find("World!——"), Text::npos) << shown;
}

TEST(PronunciationsTest, WholeLatinWordsInAnyCaseOtherTextAndPatternsAndBadLinesByNumber) {
  const std::string file = Utf8FromText(
      "# 注释\nGitHub => 吉特哈布\n\nQt => Q T # 注释\n没有箭头\n/ngin+x/ => engine x\n"
      "/(/ => 坏\n=> 空\n数据库 => 数据 库\n");
  const Pronunciations list = ParsePronunciations(ByteBuffer(file.begin(), file.end()));
  EXPECT_EQ(list.rules.size(), 4u);
  EXPECT_EQ(list.problems, (std::vector<Text>{"第 5 行：缺少 =>", "第 7 行：正则表达式无效",
                                              "第 8 行：=> 前面没有文字"}));
  EXPECT_EQ(Pronounce(list, "用github托管，GitHubs 不变，qt 与 QtCreator；nginnx 和数据库"),
            "用吉特哈布托管，GitHubs 不变，Q T 与 QtCreator；engine x 和数据 库");
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
  int TextPuts() {
    int count = 0;
    for (int i = 0; i < Recorder<int()>("RecorderCallCount")(); ++i)
      count +=
          std::string(Recorder<const char*(int)>("RecorderCall")(i)).starts_with("QTTSTextPut");
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
  EXPECT_EQ(TextPuts(), 4);
}

TEST_F(NarrationExportTest, AnUnwritableAudioFileIsToldBeforeSynthesisAndNoSubtitlesNoAudio) {
  services.Preset(Control::编辑框1, Property::Content, Text("一。"));
  services.unwritablePaths = {"/out/n.wav"};
  ChooseFile("/out/n.wav");
  ExportNarrationClicked(program);
  EXPECT_EQ(TextPuts(), 0) << "nothing is synthesised for a file that cannot be written";
  ASSERT_EQ(services.CallsOf<MessageBoxCall>().size(), 1u);
  const Text told = services.CallsOf<MessageBoxCall>()[0].message.AsText();
  EXPECT_NE(told.find("/out/n.wav"), Text::npos);
  EXPECT_NE(told.find("没有权限。"), Text::npos) << "the box says why";

  // The subtitles cannot be written: the audio goes too.
  services.unwritablePaths = {"/out/n.srt"};
  QueueSeconds(1.0);
  ChooseFile("/out/n.wav");
  ExportNarrationClicked(program);
  EXPECT_EQ(TextPuts(), 1);
  EXPECT_EQ(OutFiles(), 0);
  EXPECT_EQ(services.OpenAudioFiles(), 0);
  ASSERT_EQ(services.CallsOf<MessageBoxCall>().size(), 2u);
  EXPECT_NE(services.CallsOf<MessageBoxCall>()[1].message.AsText().find("没有权限。"), Text::npos);
}

TEST_F(NarrationExportTest, ThePronunciationMenuWritesAnExplainedListOnceAndNamesBadLines) {
  const Text path = services.configDirectory + "/pronunciations.txt";
  EditPronunciations(services);
  ASSERT_EQ(services.Files().count(path), 1u);
  const Pronunciations example = ParsePronunciations(services.Files()[path]);
  EXPECT_TRUE(example.rules.empty() && example.problems.empty()) << "the example is comments";
  ASSERT_EQ(services.CallsOf<OpenUrlCall>().size(), 1u);
  EXPECT_EQ(services.CallsOf<OpenUrlCall>()[0].address, "file://" + path);
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());

  const std::string edited = Utf8FromText("GitHub => 吉特哈布\n这一行不对\n");
  services.Files()[path] = ByteBuffer(edited.begin(), edited.end());
  EditPronunciations(services);
  ASSERT_EQ(services.CallsOf<MessageBoxCall>().size(), 1u);
  EXPECT_NE(services.CallsOf<MessageBoxCall>()[0].message.AsText().find("第 2 行"), Text::npos);
  EXPECT_EQ(services.Files()[path], ByteBuffer(edited.begin(), edited.end())) << "kept as edited";
}

TEST_F(NarrationExportTest, CancelOrAFailedPieceLeavesNoFileBehind) {
  services.Preset(Control::编辑框1, Property::Content, Text("一。二。三。"));
  for (double seconds : {1.0, 1.0, 1.0}) QueueSeconds(seconds);
  // The worker waits inside the engine on the second piece until the box is cancelled.
  services.progressCancelsAt = 2;
  Recorder<void(const char*)>("RecorderHoldAudioGet")("sid-2");
  services.onDelay = [&](int) {
    if (services.Locked([&] { return services.progressCalls; }) >= 2)
      Recorder<void()>("RecorderRelease")();
  };
  ChooseFile("/out/n.wav");
  ExportNarrationClicked(program);
  services.onDelay = nullptr;
  EXPECT_LT(TextPuts(), 3) << "the export went on after the cancel";
  EXPECT_EQ(OutFiles(), 0);
  EXPECT_EQ(services.OpenAudioFiles(), 0);
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

TEST_F(NarrationExportTest, TheMenuRefusesAnOutputThatIsTheScriptsOwnFile) {
  const ByteBuffer script = {'a', 0xa1, 0xa3};
  services.Files()["/out/n.srt"] = script;
  program.document.CurrentFileName = "/out/n.srt";
  services.Preset(Control::编辑框1, Property::Content, Text("一。"));
  QueueSeconds(1.0);
  ChooseFile("/out/n.wav");
  ExportNarrationClicked(program);
  EXPECT_EQ(TextPuts(), 0);
  EXPECT_EQ(services.Files()["/out/n.srt"], script);
  EXPECT_EQ(OutFiles(), 1) << "no audio file either";
  ASSERT_EQ(services.CallsOf<MessageBoxCall>().size(), 1u);
  EXPECT_NE(services.CallsOf<MessageBoxCall>()[0].message.AsText().find("/out/n.srt"), Text::npos);
}

// The window goes while the export's worker is inside the engine: the export stops and
// leaves nothing, and the engine is finalised only after the worker has left it.
TEST_F(NarrationExportTest, AnExportUnderWayAtExitStopsBeforeTheEngineIsFinalised) {
  services.Preset(Control::编辑框1, Property::Content, Text("一。二。三。"));
  ASSERT_EQ(program.speech.Initialize(), 0);  // started, as a real engine is by the export
  for (double seconds : {1.0, 1.0, 1.0}) QueueSeconds(seconds);
  Recorder<void(const char*)>("RecorderHoldAudioGet")("sid-2");
  int step = 0;
  services.onDelay = [&](int) {
    if (step == 0 && services.Locked([&] { return services.progressCalls; }) > 0) {
      step = 1;
      MainWindowDestroyed(program);
    } else if (step == 1) {
      step = 2;
      Recorder<void()>("RecorderRelease")();
    }
    if (step > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the exit waits in real time
  };
  ChooseFile("/out/n.wav");
  ExportNarrationClicked(program);
  services.onDelay = nullptr;
  ASSERT_GE(step, 1);
  EXPECT_EQ(OutFiles(), 0);
  EXPECT_EQ(services.OpenAudioFiles(), 0);
  EXPECT_LT(TextPuts(), 3);
  const int calls = Recorder<int()>("RecorderCallCount")();
  EXPECT_STREQ(Recorder<const char*(int)>("RecorderCall")(calls - 1), "QTTSFini");
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty()) << "a stop needs no message";
}
