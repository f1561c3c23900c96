#include "app/CommandLine.h"

#include "aids/HotKeys.h"

namespace {

CommandLine Answer(CommandAction action) {
  CommandLine command;
  command.action = action;
  return command;
}

CommandLine Misuse(const std::string& problem) {
  CommandLine command = Answer(CommandAction::Misuse);
  command.problem = problem;
  return command;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::string& currentFolder) {
  const auto absolute = [&](const std::string& path) {
    return path[0] == '/' ? path : currentFolder + "/" + path;
  };
  if (!arguments.empty() && arguments[0] == "--export-narration") {
    if (arguments.size() < 3 || arguments.size() > 4 || arguments[1].empty() ||
        arguments[2].empty() || (arguments.size() == 4 && arguments[3].empty()))
      return Misuse("--export-narration takes SCRIPT, OUT.AUDIO and perhaps OUT.SUBTITLES");
    CommandLine command = Answer(CommandAction::ExportNarration);
    command.file = absolute(arguments[1]);
    command.output = absolute(arguments[2]);
    if (arguments.size() == 4) command.subtitles = absolute(arguments[3]);
    return command;
  }
  if (!arguments.empty() && arguments[0] == "--action") {
    if (arguments.size() != 2) return Misuse("--action takes one NAME");
    if (!HotKeyActionNamed(arguments[1])) return Misuse("unknown action " + arguments[1]);
    CommandLine command = Answer(CommandAction::SendAction);
    command.actionName = arguments[1];
    return command;
  }
  CommandLine command;
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument == "--help") {
      return Answer(CommandAction::ShowHelp);
    } else if (!optionsEnded && argument == "--version") {
      return Answer(CommandAction::ShowVersion);
    } else if (!optionsEnded && argument == "--new-instance") {
      command.newInstance = true;
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      return Misuse("unknown option " + argument);
    } else if (!command.file.empty()) {
      return Misuse("only one file can be opened");
    } else if (argument.empty()) {
      return Misuse("the file name is empty");
    } else {
      command.file = absolute(argument);
    }
  }
  return command;
}

std::string UsageText() {
  return "Usage: orvane-notepad [--new-instance] [FILE]\n"
         "       orvane-notepad --action NAME\n"
         "A notepad for recording tutorial videos: it reads the script aloud and types it\n"
         "back with global hot keys.\n"
         "\n"
         "  FILE       open this text file (GBK, UTF-8 or UTF-16) once the window is up; when\n"
         "             a copy runs in this desktop session already, it opens FILE and comes\n"
         "             to the front instead\n"
         "  --new-instance\n"
         "             start a copy of its own even when one runs already\n"
         "  --action NAME\n"
         "             have the running copy do NAME: read-aloud, pause-reading,\n"
         "             stop-reading, type or capture (for keys bound in the desktop's\n"
         "             settings); status 3 when no copy runs\n"
         "  --help     show this help and exit\n"
         "  --version  show the version and exit\n"
         "  --export-narration SCRIPT OUT.AUDIO [OUT.SUBTITLES]\n"
         "             write the script's narration as OUT.AUDIO (.wav, .flac, .ogg,\n"
         "             .opus or .mp3) and its subtitles (.srt, .vtt or .lrc; OUT.srt\n"
         "             beside the audio when not given), without a window; progress\n"
         "             on standard error\n";
}

std::string VersionText() { return "orvane-notepad " ORVANE_VERSION "\n"; }

CommandReply ReplyWithoutWindow(const CommandLine& command) {
  switch (command.action) {
    case CommandAction::ShowHelp:
      return {UsageText(), {}, 0};
    case CommandAction::ShowVersion:
      return {VersionText(), {}, 0};
    case CommandAction::Misuse:
      return {{}, "orvane-notepad: " + command.problem + "\n" + UsageText(), 2};
    case CommandAction::Run:
    case CommandAction::ExportNarration:
    case CommandAction::SendAction:
      break;
  }
  return {};
}
