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
