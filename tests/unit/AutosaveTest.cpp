#include "document/Autosave.h"

#include <gtest/gtest.h>

#include "app/EventTable.h"
#include "app/StartupAndExit.h"
#include "document/RecoveryCopy.h"
#include "support/FakeRuntimeServices.h"
#include "support/ProgramFolder.h"

namespace {

class AutosaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program.document.encoding = TextEncoding::Utf8;
    program.document.CurrentFileName = "/home/user/script.txt";
  }
  // The user edits the editor's text: it holds the text and is marked changed.
  void Edit(const Text& text) {
    services.Preset(Control::编辑框1, Property::Content, text);
    services.Modified() = true;
    Event changed;
    changed.kind = EventKind::ContentChanged;
    changed.source = Control::编辑框1;
    DispatchEvent(program, changed);
  }
  // Lets the autosave delay pass and the background worker do what it was given.
  void LetDelayPass() {
    services.AdvanceTime(kAutosaveDelayMilliseconds);
    services.RunBackgroundWork();
  }
  Text File(const Text& path) {
    const auto found = services.Files().find(path);
    return found == services.Files().end() ? Text("(none)")
                                           : Text(found->second.begin(), found->second.end());
  }

  FakeRuntimeServices services;
  ProgramFolder folder{services};
  Program program{services};
  const Text autosave = services.stateDirectory + "/autosave/4321";
};

// "脚本 one" in UTF-8, the script's own encoding here.
const Text kUtf8Script = "\xE8\x84\x9A\xE6\x9C\xAC one";

TEST_F(AutosaveTest, EditsAreCopiedWithinTheDelayAndTheCopyGoesWhenSaved) {
  Edit("脚本");
  Edit("脚本 one");  // a keystroke during the delay only joins the copy to come
  services.AdvanceTime(kAutosaveDelayMilliseconds - 1);
  EXPECT_EQ(services.RunBackgroundWork(), 0) << "nothing written before the delay is over";
  EXPECT_EQ(File(autosave + ".txt"), "(none)");
  services.AdvanceTime(1);
  EXPECT_EQ(services.RunBackgroundWork(), 1);
  EXPECT_EQ(File(autosave + ".txt"), kUtf8Script);
  EXPECT_EQ(File(autosave + ".info"),
            "orvane-notepad autosave\npid=4321\nencoding=utf-8\npath=/home/user/script.txt");
  EXPECT_EQ(AutosaveTextPath(services, program.autosave), autosave + ".txt");

  // A copy given to the worker before the save never comes back after it.
  Edit("脚本 two");
  services.AdvanceTime(kAutosaveDelayMilliseconds);
  EXPECT_EQ(SaveDocument(services, program.document, Text(), false), SaveOutcome::Saved);
  services.RunBackgroundWork();
  EXPECT_EQ(File(autosave + ".txt"), "(none)");
  EXPECT_EQ(File(autosave + ".info"), "(none)");
}

TEST_F(AutosaveTest, EmptiedOrDiscardedTextLeavesNoCopyButAnEndWithoutASayKeepsIt) {
  Edit("脚本 one");
  LetDelayPass();
  Edit("");  // 清空
  LetDelayPass();
  EXPECT_EQ(File(autosave + ".txt"), "(none)");

  Edit("脚本 one");
  LetDelayPass();
  Edit("脚本 one more");         // a copy still due when the window closes
  MainWindowDestroyed(program);  // closed after "否"
  LetDelayPass();
  EXPECT_EQ(File(autosave + ".txt"), "(none)");

  // A signal (as a lost display or a fatal error) keeps the copy, up to the last
  // keystroke, beside the recovery copy; the close that follows leaves it.
  Program second(services);
  second.document.encoding = TextEncoding::Utf8;
  services.Preset(Control::编辑框1, Property::Content, Text("脚本 one"));
  services.Modified() = true;
  const std::optional<Text> recovered = EndOnSignal(second);
  ASSERT_TRUE(recovered && !recovered->empty());
  EXPECT_EQ(File(*recovered), kUtf8Script);
  MainWindowDestroyed(second);
  services.RunBackgroundWork();
  EXPECT_EQ(File(autosave + ".txt"), kUtf8Script);

  // Text whose save had not finished (the save took the mark) is kept the same way.
  Program third(services);
  third.document.encoding = TextEncoding::Utf8;
  services.Preset(Control::编辑框1, Property::Content, Text("脚本 two"));
  services.Modified() = false;
  third.document.changesBeingSaved = true;
  ASSERT_TRUE(EndOnSignal(third));
  EXPECT_EQ(File(autosave + ".txt"), "\xE8\x84\x9A\xE6\x9C\xAC two");
}

TEST_F(AutosaveTest, UnwritableStateFolderFallsBackAndSaysWhere) {
  services.unwritablePaths.push_back(services.stateDirectory + "/autosave");
  services.unwritablePaths.push_back(services.stateDirectory);
  services.danglingLinks.insert(services.fallbackDirectory + "/recovered-20240607-080910.txt");
  Edit("脚本 one");
  LetDelayPass();
  EXPECT_EQ(File(services.fallbackDirectory + "/autosave/4321.txt"), kUtf8Script);

  // The recovery copy too, the name a dangling link holds skipped, never followed.
  const Text written = WriteRecoveryCopy(services, "脚本 one", TextEncoding::Utf8);
  EXPECT_EQ(written, services.fallbackDirectory + "/recovered-20240607-080910-2.txt");
  EXPECT_EQ(File(written), kUtf8Script);
  const std::vector<Text> problems = services.Problems();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find(services.fallbackDirectory + "/autosave"), Text::npos);
  EXPECT_NE(problems[1].find(services.fallbackDirectory), Text::npos);
}

TEST_F(AutosaveTest, CopiesOfEndedRunsAreOfferedBackOrKeptAndOfRunningOnesLeftAlone) {
  const Text left = services.stateDirectory + "/autosave/77";
  const Text running = services.stateDirectory + "/autosave/88";
  auto leave = [this](const Text& base) {
    services.Files()[base + ".txt"] = ToBytes(kUtf8Script);
    services.Files()[base + ".info"] =
        ToBytes(Text("orvane-notepad autosave\npid=77\nencoding=utf-8\npath=/data/旧.txt"));
  };
  leave(left);
  leave(running);
  services.runningPrograms = {88};
  program.document.CurrentFileName.clear();
  program.document.encoding = TextEncoding::Gbk;
  services.ScriptMessageBoxAnswer(kAnswerYes);

  EXPECT_TRUE(OfferTextOfEarlierRun(program));
  ASSERT_EQ(services.CallsOf<MessageBoxCall>().size(), 1u);
  EXPECT_EQ(services.CallsOf<MessageBoxCall>()[0].message.AsText(),
            "发现上次未保存的文字，是否恢复？");
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Content).AsText(), "脚本 one");
  EXPECT_TRUE(services.Modified());
  EXPECT_EQ(program.document.CurrentFileName, "/data/旧.txt");
  EXPECT_EQ(program.document.encoding, TextEncoding::Utf8);
  EXPECT_EQ(File(autosave + ".txt"), kUtf8Script) << "this run's own copy holds it now";
  EXPECT_EQ(File(left + ".txt"), "(none)");
  EXPECT_EQ(File(running + ".txt"), kUtf8Script);

  // "否": moved to a recovered file beside the recovery copies, and said where.
  services.runningPrograms.clear();
  services.ScriptMessageBoxAnswer(kAnswerNo);
  Program next(services);
  services.Files().erase(autosave + ".txt");
  services.Files().erase(autosave + ".info");
  EXPECT_FALSE(OfferTextOfEarlierRun(next));
  const Text kept = services.stateDirectory + "/recovered-20240607-080910.txt";
  EXPECT_EQ(File(kept), kUtf8Script);
  EXPECT_EQ(File(running + ".txt"), "(none)");
  ASSERT_FALSE(services.Problems().empty());
  EXPECT_NE(services.Problems().back().find(kept), Text::npos);
}

}  // namespace
