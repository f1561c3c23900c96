// orvane-notepad: a notepad for people who record tutorial videos.
#include <cstdio>
#include <filesystem>

#include "ExportNarrationMain.h"
#include "app/CommandLine.h"
#include "app/EventTable.h"
#include "app/MainWindowDefinition.h"
#include "app/Program.h"
#include "app/StartupAndExit.h"
#include "framework/TextCodec.h"
#include "framework/platform/DisplayCheck.h"
#include "framework/platform/FetchHelper.h"
#include "framework/qt/QtHost.h"
#include "framework/qt/SessionCommand.h"

int main(int argc, char** argv) {
  // The update check's download, started by the running program: nothing else is set up.
  if (IsFetchHelperCall(argc, argv)) return RunFetchHelper(argc, argv);
  std::error_code ignored;
  const CommandLine command = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc),
                                               std::filesystem::current_path(ignored).string());
  if (command.action == CommandAction::ExportNarration)
    return RunExportNarrationCommand(command.file, command.output, command.subtitles);
  if (command.action == CommandAction::SendAction)
    SendActionToRunningCopy(argc, argv, command.actionName);
  if (command.action != CommandAction::Run) {
    const CommandReply reply = ReplyWithoutWindow(command);
    std::fputs(reply.standardOutput.c_str(), stdout);
    std::fputs(reply.standardError.c_str(), stderr);
    return reply.status;
  }
  ChooseWindowPlatform();
  if (const std::string problem = DisplayProblem(); !problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  QtHost host(argc, argv);
  host.SetDesktopIdentity("orvane-notepad", "example.orvane.Notepad", ":/icons");
  host.JoinSession(command.file, command.newInstance);
  Program program(host.Services());
  host.SetExitRoutine([&program] { ReleaseProgram(program); });
  host.SetTerminationRoutine([&program] { return EndOnSignal(program); });
  host.SetEmergencyRoutine([&program] { return KeepUnsavedText(program); });
  // False when a copy already running has taken the request.
  if (!host.LoadWindow(MainWindowDefinition(),
                       [&program](const Event& event) { DispatchEvent(program, event); }))
    return 0;
  // Text an earlier run left unsaved comes back before a file named to be opened.
  const bool restored = OfferTextOfEarlierRun(program);
  if (!command.file.empty() && !restored)
    OpenDocumentFile(program.services, program.document, TextFromUtf8(command.file));
  else if (!command.file.empty())
    program.services.ReportProblem(
        TextFromUtf8(command.file + " was not opened: the restored text is in the editor"));
  return host.Run();
}
