#include "app/ProgramActions.h"

#include "aids/ScreenCapture.h"
#include "aids/TypingIntoWindow.h"

void RunProgramAction(Program& program, HotKeyAction action) {
  switch (action) {
    case HotKeyAction::Read:
      StartOrContinueReading(program.Reading());
      break;
    case HotKeyAction::Pause:
      PauseReading(program.Reading());
      break;
    case HotKeyAction::Type:
      TypingHotKeyPressed(program.services, program.windowTyping, program.typing);
      break;
    case HotKeyAction::Stop:
      StopReading(program.Reading());
      break;
    case HotKeyAction::Capture:
      CaptureScreenArea(program.services);
      break;
  }
}

void ActionRequested(Program& program, const Text& name) {
  if (const std::optional<HotKeyAction> action = HotKeyActionNamed(name))
    RunProgramAction(program, *action);
}

void OpenRequested(Program& program, const Text& path) {
  if (!MayProceed(AskToSaveChanges(program.services, program.document))) return;
  OpenDocumentFile(program.services, program.document, path);
}
