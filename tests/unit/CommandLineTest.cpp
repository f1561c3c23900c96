#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

CommandLine Parse(std::vector<std::string> arguments) {
  return ParseCommandLine(arguments, "/home/user/videos");
}

TEST(CommandLineTest, FileIsTakenFromTheStartingFolderAndOptionsAnswerWithoutAWindow) {
  EXPECT_EQ(Parse({}).action, CommandAction::Run);
  EXPECT_EQ(Parse({}).file, "");
  EXPECT_EQ(Parse({"脚本.txt"}).file, "/home/user/videos/脚本.txt");
  EXPECT_EQ(Parse({"/tmp/a.txt"}).file, "/tmp/a.txt");
  EXPECT_EQ(Parse({"--", "--help"}).file, "/home/user/videos/--help");
  EXPECT_EQ(Parse({"a.txt", "--version"}).action, CommandAction::ShowVersion);
  EXPECT_EQ(Parse({"--help"}).action, CommandAction::ShowHelp);
  const CommandLine exported = Parse({"--export-narration", "稿.txt", "/tmp/n.wav"});
  EXPECT_EQ(exported.action, CommandAction::ExportNarration);
  EXPECT_EQ(exported.file, "/home/user/videos/稿.txt");
  EXPECT_EQ(exported.output, "/tmp/n.wav");
  EXPECT_EQ(exported.subtitles, "");
  EXPECT_EQ(Parse({"--export-narration", "a.txt", "n.mp3", "n.vtt"}).subtitles,
            "/home/user/videos/n.vtt");
  const CommandLine separate = Parse({"--new-instance", "a.txt"});
  EXPECT_TRUE(separate.newInstance);
  EXPECT_EQ(separate.file, "/home/user/videos/a.txt");
  EXPECT_FALSE(Parse({"a.txt"}).newInstance);
  for (const char* name : {"read-aloud", "pause-reading", "stop-reading", "type", "capture"}) {
    const CommandLine action = Parse({"--action", name});
    EXPECT_EQ(action.action, CommandAction::SendAction) << name;
    EXPECT_EQ(action.actionName, name);
  }
}

TEST(CommandLineTest, MisuseNamesTheProblemAndExitsWithStatusTwo) {
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"--bogus"},
                                             {"-x", "a.txt"},
                                             {"a.txt", "b.txt"},
                                             {""},
                                             {"--export-narration", "a.txt"},
                                             {"--export-narration", "a", "b.wav", "c", "d"},
                                             {"--action", "read"},
                                             {"--action"}}) {
    const CommandLine command = Parse(arguments);
    EXPECT_EQ(command.action, CommandAction::Misuse) << arguments[0];
    EXPECT_FALSE(command.problem.empty());
  }
  EXPECT_NE(Parse({"--bogus"}).problem.find("--bogus"), std::string::npos);
  const CommandReply reply = ReplyWithoutWindow(Parse({"--bogus"}));
  EXPECT_EQ(reply.status, 2);
  EXPECT_TRUE(reply.standardOutput.empty());
  EXPECT_NE(reply.standardError.find("--bogus"), std::string::npos);
  EXPECT_NE(reply.standardError.find("Usage: orvane-notepad"), std::string::npos);
}

}  // namespace
