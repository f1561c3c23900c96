#include "framework/qt/MainWindow.h"
#include "framework/qt/QtRuntimeServices.h"
#include "framework/qt/UiThread.h"
#include "framework/qt/VoiceSettingsDialog.h"

std::optional<VoiceDialogValues> QtRuntimeServices::ShowVoiceDialog(
    const VoiceDialogSetup& setup, const std::function<Text(const VoiceDialogValues&)>& preview) {
  return OnUiThread([&] { return RunVoiceSettingsDialog(window_, setup, preview); });
}
