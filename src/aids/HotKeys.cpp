#include "aids/HotKeys.h"

namespace {
constexpr int kCtrl = 1;
}  // namespace

void RegisterHotKeys(RuntimeServices& services, HotKeyNumbers& numbers) {
  const auto registerKey = [&](int keyCode) {
    return services.RegisterGlobalHotKey(Control::_启动窗口, Control::标签1, kCtrl, keyCode);
  };
  numbers.StartReadingHotKey = registerKey('A');
  numbers.PauseReadingHotKey = registerKey('Z');
  numbers.TypingHotKey = registerKey('Q');
}

void UnregisterHotKeys(RuntimeServices& services, HotKeyNumbers& numbers) {
  for (int* number :
       {&numbers.StartReadingHotKey, &numbers.PauseReadingHotKey, &numbers.TypingHotKey}) {
    if (*number != 0) services.UnregisterGlobalHotKey(*number);
    *number = 0;
  }
}

void DispatchHotKey(const HotKeyNumbers& numbers, int number, const HotKeyCommands& commands) {
  if (number == 0) return;
  if (number == numbers.StartReadingHotKey && commands.startOrContinueReading)
    commands.startOrContinueReading();
  if (number == numbers.PauseReadingHotKey && commands.pauseReading) commands.pauseReading();
  if (number == numbers.TypingHotKey && commands.startTyping) commands.startTyping();
}

void ShowHotKeyTip(RuntimeServices& services, const HotKeyNumbers& numbers, Control button) {
  const char* tip = nullptr;
  int number = 0;
  if (button == Control::按钮7) tip = "热键：CTRL+Q", number = numbers.TypingHotKey;
  if (button == Control::按钮10) tip = "热键：CTRL+A", number = numbers.StartReadingHotKey;
  if (button == Control::按钮11) tip = "热键：CTRL+Z", number = numbers.PauseReadingHotKey;
  if (!tip) return;
  Text text(tip);
  // Otherwise the user never learns why the key does nothing.
  if (number == 0) text += "\r\n（热键已被其他程序占用）";
  services.ShowBalloon(Control::气球提示框1, services.MouseX(), services.MouseY(), text, -1,
                       Text());
}
