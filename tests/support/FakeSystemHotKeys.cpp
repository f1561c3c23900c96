#include "support/FakeRuntimeServices.h"

#include <algorithm>

int FakeRuntimeServices::RegisterGlobalHotKey(Control window, Control notifyControl, int modifiers,
                                              int keyCode) {
  std::lock_guard lock(mutex_);
  const int index = hotKeyCalls_++;
  Record(RegisterHotKeyCall{window, notifyControl, modifiers, keyCode});
  const bool refused = std::find(refusedHotKeyCalls.begin(), refusedHotKeyCalls.end(), index) !=
                           refusedHotKeyCalls.end() ||
                       std::find(heldHotKeys.begin(), heldHotKeys.end(),
                                 std::pair(modifiers, keyCode)) != heldHotKeys.end();
  return refused ? 0 : 33001 + index;
}

bool FakeRuntimeServices::UnregisterGlobalHotKey(int number) {
  std::lock_guard lock(mutex_);
  Record(UnregisterHotKeyCall{number});
  return number != 0;
}

int FakeRuntimeServices::RegisterNamedGlobalHotKey(Control window, Control notifyControl,
                                                   int modifiers, int keyCode, const Text& name,
                                                   const Text&) {
  {
    std::lock_guard lock(mutex_);
    hotKeyNames.push_back(name);
  }
  return RegisterGlobalHotKey(window, notifyControl, modifiers, keyCode);
}

void FakeRuntimeServices::WhenHotKeysKnown(std::function<void(bool takesKeys)> answer) {
  if (!hotKeysKnownLater) {
    answer(takesGlobalHotKeys);
    return;
  }
  std::lock_guard lock(mutex_);
  hotKeysAnswers_.push_back(std::move(answer));
}

void FakeRuntimeServices::AnswerHotKeysKnown() {
  std::vector<std::function<void(bool)>> answers;
  {
    std::lock_guard lock(mutex_);
    answers.swap(hotKeysAnswers_);
  }
  for (auto& answer : answers) answer(takesGlobalHotKeys);
}
