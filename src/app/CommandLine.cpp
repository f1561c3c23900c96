#include "app/CommandLine.h"

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::string& currentFolder) {
  const auto absolute = [&](const std::string& path) {
    return path[0] == '/' ? path : currentFolder + "/" + path;
  };
  if (!arguments.empty() && arguments[0] == "--export-narration") {
    if (arguments.size() < 3 || arguments.size() > 4 || arguments[1].empty() ||
        arguments[2].empty() || (arguments.size() == 4 && arguments[3].empty()))
      return {CommandAction::Misuse,
              {},
              "--export-narration takes SCRIPT, OUT.AUDIO and perhaps OUT.SUBTITLES",
              {},
              {}};
    return {CommandAction::ExportNarration,
            absolute(arguments[1]),
            {},
            absolute(arguments[2]),
            arguments.size() == 4 ? absolute(arguments[3]) : std::string()};
  }
  CommandLine command;
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument == "--help") {
      return {CommandAction::ShowHelp, {}, {}, {}, {}};
    } else if (!optionsEnded && argument == "--version") {
      return {CommandAction::ShowVersion, {}, {}, {}, {}};
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      return {CommandAction::Misuse, {}, "unknown option " + argument, {}, {}};
    } else if (!command.file.empty()) {
      return {CommandAction::Misuse, {}, "only one file can be opened", {}, {}};
    } else if (argument.empty()) {
      return {CommandAction::Misuse, {}, "the file name is empty", {}, {}};
    } else {
      command.file = absolute(argument);
    }
  }
  return command;
}

std::string UsageText() {
  return "Usage: orvane-notepad [FILE]\n"
         "A notepad for recording tutorial videos: it reads the script aloud and types it\n"
         "back with global hot keys.\n"
         "\n"
         "  FILE       open this text file (GBK, UTF-8 or UTF-16) once the window is up\n"
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
      break;
  }
  return {};
}
