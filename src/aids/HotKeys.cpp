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

void DispatchHotKey(const HotKeyNumbers& numbers, int number, const HotKeyCommands& commands) {
  if (number == 0) return;
  if (number == numbers.StartReadingHotKey && commands.startOrContinueReading)
    commands.startOrContinueReading();
  if (number == numbers.PauseReadingHotKey && commands.pauseReading) commands.pauseReading();
  if (number == numbers.TypingHotKey && commands.startTyping) commands.startTyping();
}

void ShowHotKeyTip(RuntimeServices& services, Control button) {
  const char* tip = nullptr;
  if (button == Control::按钮7) tip = "热键：CTRL+Q";
  if (button == Control::按钮10) tip = "热键：CTRL+A";
  if (button == Control::按钮11) tip = "热键：CTRL+Z";
  if (!tip) return;
  services.ShowBalloon(Control::气球提示框1, services.MouseX(), services.MouseY(), Text(tip), -1,
                       Text());
}
