#include "support/FakeRuntimeServices.h"

bool FakeRuntimeServices::OpenDialog(Control dialog) {
  std::lock_guard lock(mutex_);
  Record(OpenDialogCall{dialog});
  auto& scripts = dialogScripts_[dialog];
  if (scripts.empty()) return false;  // an unscripted dialog is cancelled
  DialogScript script = scripts.front();
  scripts.pop_front();
  if (!script.confirm) return false;
  for (const auto& [property, value] : script.results)
    properties_[{dialog, property, FontElement::None}] = value;
  return true;
}

bool FakeRuntimeServices::ShowProgress(const Text&, int, int) {
  std::lock_guard lock(mutex_);
  ++progressCalls;
  return progressCancelsAt < 0 || progressCalls < progressCancelsAt;
}

int FakeRuntimeServices::ShowMessageBox(const Value& message, int style,
                                        const std::optional<Text>& caption,
                                        std::optional<Control> owner) {
  std::lock_guard lock(mutex_);
  Record(MessageBoxCall{message, style, caption, owner});
  if (messageBoxAnswers_.empty()) return kAnswerCancel;
  const int answer = messageBoxAnswers_.front();
  messageBoxAnswers_.pop_front();
  return answer;
}

std::optional<VoiceDialogValues> FakeRuntimeServices::ShowVoiceDialog(const VoiceDialogSetup& setup,
                                                                      const VoicePreview& preview) {
  return voiceDialog ? voiceDialog(setup, preview) : std::nullopt;
}

bool FakeRuntimeServices::EditHotKeys(std::vector<HotKeyField>& fields, const HotKeyCheck& check) {
  // Not under the lock: the check registers keys, as the real dialog does.
  return hotKeyDialog ? hotKeyDialog(fields, check) : false;
}

bool FakeRuntimeServices::ShowMessageWithCheckBox(const Text& message, const Text&, const Text&) {
  std::lock_guard lock(mutex_);
  checkBoxMessages.push_back(message);
  return tickCheckBoxes;
}
