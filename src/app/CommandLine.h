#pragma once

#include <string>
#include <vector>

// What the command line asks for:
// orvane-notepad [--help | --version | --export-narration SCRIPT OUT.AUDIO [OUT.SUBTITLES] |
//                 --action NAME | [--new-instance] FILE].
enum class CommandAction {
  Run,              // start the window, opening file when one is given
  ShowHelp,         // print the usage to standard output, status 0
  ShowVersion,      // print the version to standard output, status 0
  Misuse,           // print problem and the usage to standard error, status 2
  ExportNarration,  // write file's narration to output (and its .srt), no window
  SendAction,       // ask the copy running in this session to do the action, no window
};

struct CommandLine {
  CommandAction action = CommandAction::Run;
  std::string file;          // absolute native path, empty when none was given
  std::string problem;       // for Misuse
  std::string output;        // the audio file of ExportNarration, absolute
  std::string subtitles;     // its subtitle file, absolute; empty for OUT.srt beside it
  std::string actionName;    // for SendAction ("read-aloud" ...)
  bool newInstance = false;  // Run: a copy of its own even when one runs in the session
};

// arguments without the program's name; a relative FILE is taken from
// currentFolder (the program moves to its own folder later).
CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::string& currentFolder);

std::string UsageText();
std::string VersionText();

// What a command that runs no window prints, and its exit status; the entry point writes it.
struct CommandReply {
  std::string standardOutput;
  std::string standardError;
  int status = 0;
};
CommandReply ReplyWithoutWindow(const CommandLine& command);
