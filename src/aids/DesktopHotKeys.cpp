#include "aids/DesktopHotKeys.h"

#include "aids/HotKeyText.h"

void ExplainDesktopHotKeys(Uses<Dialogs, Settings> services, const HotKeyState& state) {
  auto& settings = services.Get<Settings>();
  if (settings.GetSetting(kDesktopHotKeyNoticeSilenced) == "1") return;
  Text message =
      "这个桌面（Wayland）不让程序自己注册全局热键。\r\n"
      "请在桌面的键盘设置中为下列命令设置快捷键（括号里是本程序设置的热键）：\r\n";
  for (int i = 0; i < kHotKeyActionCount; ++i) {
    const auto action = static_cast<HotKeyAction>(i);
    message += "\r\n";
    message += HotKeyActionLabel(action);
    if (!state.keys[i].empty()) message += "（" + HotKeyDisplayText(state.keys[i]) + "）";
    message += "：orvane-notepad --action ";
    message += HotKeyActionName(action);
  }
  message +=
      "\r\n\r\nGNOME：设置 → 键盘 → 查看及自定义快捷键 → 自定义快捷键 → 添加，命令填上面一行。"
      "\r\nsway：在 ~/.config/sway/config 中加一行，例如\r\n"
      "bindsym Ctrl+Alt+r exec orvane-notepad --action read-aloud";
  if (services.Get<Dialogs>().ShowMessageWithCheckBox(message, "热键", "不再提示"))
    settings.SetSetting(kDesktopHotKeyNoticeSilenced, "1");
}
