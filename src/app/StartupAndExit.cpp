#include "app/StartupAndExit.h"

#include "aids/ScreenCapture.h"
#include "app/NarrationHandlers.h"
#include "document/EditorAppearance.h"
#include "document/RecoveryCopy.h"
#include "online/OnlineServices.h"

namespace {

constexpr int kSoundOutputDelayMs = 100;

}  // namespace

void MainWindowCreated(Program& program) {
  RuntimeServices& services = program.services;
  services.ApplyFlatStyle(1);
  NetworkAndUpdateCheck(services);
  WriteComponentFile(services, CaptureLibraryFile());
  LoadHotKeys(services, program.hotKeys);
  StartHotKeys(services, program.hotKeys);
  LoadReadingHighlight(program.Reading());
  // Remembered appearance and typing speed.
  RestoreEditorFont(services);
  RestoreTypingSpeed(services);
  // The sound output opens once the window has been shown and drawn: it can take a
  // tenth of a second (an audio server that is not there, the sound cards probed), and
  // a reading started before then opens it itself.
  services.RunLater(kSoundOutputDelayMs, [&program] {
    if (!program.reading.soundDevice) program.reading.soundDevice = program.player.InitDevice();
  });
}

void MainWindowDestroyed(Program& program) {
  // No key may start a reading or a typing run from here on: stopping the reading
  // waits with events, and a Ctrl+A taken then would start a worker just before the
  // engine is finalised.
  UnregisterHotKeys(program.services, program.hotKeys);
  // Closed by the user, who saved or discarded the text: its copy goes.
  EndAutosave(program.services, program.autosave);
  // The reading and an export stop first, so that no worker is inside the engine while
  // it is finalised; a worker that does not leave in time keeps the engine as it is.
  const bool exportGone = StopNarrationExportForExit(program);
  const bool workerGone = StopReadingForExit(program.Reading());
  if (workerGone && exportGone && SpeechSession::EngineStarted()) program.speech.Finalize();
  program.player.FreeDevice();
  RememberTypingSpeed(program.services);
}

void ExitProgram(Program& program) {
  if (!MayProceed(AskToSaveChanges(program.services, program.document))) return;
  program.closeConfirmed = true;
  program.services.CloseWindow(Control::_启动窗口);
}

bool MainWindowCloseRequested(Program& program) {
  // "退出" has asked already; any other close (window manager, log-out) asks now.
  if (program.closeConfirmed) return true;
  return MayProceed(AskToSaveChanges(program.services, program.document));
}

std::optional<Text> KeepUnsavedText(Program& program) {
  RuntimeServices& services = program.services;
  // Text whose save had not finished counts as unsaved.
  if (program.closeConfirmed || !HasUnsavedText(services, program.document)) return std::nullopt;
  // A typing run holds the whole script; the editor only what has been typed so far.
  const TypingState& typing = program.typing;
  const bool typingRun = typing.thread != 0 && services.IsThreadRunning(typing.thread);
  const Text text = typingRun ? typing.job.text
                              : services.GetProperty(Control::编辑框1, Property::Content).AsText();
  // The autosave copy is brought up to date too: the next start offers it back.
  KeepAutosaveCopyNow(services, program.document, program.autosave, text);
  return WriteRecoveryCopy(services, text, program.document.encoding);
}

std::optional<Text> EndOnSignal(Program& program) {
  // An open or save under way gives up.
  program.document.ending = true;
  std::optional<Text> copy = KeepUnsavedText(program);
  program.closeConfirmed = true;
  program.services.CloseWindow(Control::_启动窗口);
  return copy;
}

bool OfferTextOfEarlierRun(Program& program) {
  return OfferAutosavedText(program.services, program.document, program.autosave);
}

void ReleaseProgram(Program& program) {
  program.document.CurrentFileName.clear();
  program.typing.job.text.clear();
}
