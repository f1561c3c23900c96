#include "aids/HotKeys.h"

#include "aids/DesktopHotKeys.h"
#include "aids/HotKeyText.h"

namespace {

// When the button shows its key as the pointer moves over it. 截图 never does: the
// balloon would be in the picture it takes.
enum class Tip { Always, WhenSet, Never };

struct ActionDescription {
  const char* name;
  const char* setting;
  const char* defaultKeys;
  const char* label;  // in the dialog and the notices
  Control button;
  Tip tip;
};

// In HotKeyAction order.
constexpr ActionDescription kActions[kHotKeyActionCount] = {
    {"read-aloud", "hotkeys/read", "Ctrl+A", "朗读/继续", Control::按钮10, Tip::Always},
    {"pause-reading", "hotkeys/pause", "Ctrl+Z", "暂停朗读", Control::按钮11, Tip::Always},
    {"type", "hotkeys/type", "Ctrl+Q", "打字", Control::按钮7, Tip::Always},
    {"stop-reading", "hotkeys/stop", "", "结束朗读", Control::按钮12, Tip::WhenSet},
    {"capture", "hotkeys/capture", "", "截图", Control::按钮5, Tip::Never},
};

const char* const kRefused = "已被其他程序占用";
const char* const kUnusable = "不能用作热键";

// Why a set key is not in force.
const char* Problem(const Text& keys) { return ParseHotKeyText(keys) ? kRefused : kUnusable; }

int Register(SystemHotKeys& hotKeys, int action, const Text& keys) {
  const std::optional<KeyCombination> combination = ParseHotKeyText(keys);
  if (!combination) return 0;
  return hotKeys.RegisterNamedGlobalHotKey(Control::_启动窗口, Control::标签1,
                                           combination->modifiers, combination->virtualKey,
                                           kActions[action].name, kActions[action].label);
}

// Whether the key can be taken now: registered for a moment and given back.
Text CheckKey(SystemHotKeys& hotKeys, int action, const Text& keys) {
  if (keys.empty()) return Text();
  if (!ParseHotKeyText(keys)) return kUnusable;
  // The desktop binds it: no program holds it against us.
  if (!hotKeys.TakesGlobalHotKeys()) return Text();
  const int number = Register(hotKeys, action, keys);
  if (number == 0) return kRefused;
  hotKeys.UnregisterGlobalHotKey(number);
  return Text();
}

}  // namespace

const char* HotKeyActionName(HotKeyAction action) {
  return kActions[static_cast<int>(action)].name;
}

const char* HotKeyActionLabel(HotKeyAction action) {
  return kActions[static_cast<int>(action)].label;
}

std::optional<HotKeyAction> HotKeyActionNamed(const std::string& name) {
  for (int i = 0; i < kHotKeyActionCount; ++i)
    if (name == kActions[i].name) return static_cast<HotKeyAction>(i);
  return std::nullopt;
}

void LoadHotKeys(Settings& settings, HotKeyState& state) {
  for (int i = 0; i < kHotKeyActionCount; ++i) {
    const Text setting = kActions[i].setting;
    state.keys[i] =
        settings.HasSetting(setting) ? settings.GetSetting(setting) : Text(kActions[i].defaultKeys);
  }
}

void RegisterHotKeys(SystemHotKeys& hotKeys, HotKeyState& state) {
  if (!hotKeys.TakesGlobalHotKeys()) return;
  for (int i = 0; i < kHotKeyActionCount; ++i)
    state.numbers[i] = Register(hotKeys, i, state.keys[i]);
}

void UnregisterHotKeys(SystemHotKeys& hotKeys, HotKeyState& state) {
  for (int& number : state.numbers) {
    if (number != 0) hotKeys.UnregisterGlobalHotKey(number);
    number = 0;
  }
}

void StartHotKeys(Uses<WindowControls, Dialogs, SystemHotKeys, Settings> services,
                  HotKeyState& state) {
  // The answer may come later: it keeps its own copy of the roles.
  services.Get<SystemHotKeys>().WhenHotKeysKnown([services, &state](bool) {
    RegisterHotKeys(services, state);
    AnnounceRefusedHotKeys(services, state);
  });
}

void AnnounceRefusedHotKeys(Uses<WindowControls, Dialogs, SystemHotKeys, Settings> services,
                            const HotKeyState& state) {
  if (!services.Get<SystemHotKeys>().TakesGlobalHotKeys()) {
    ExplainDesktopHotKeys(services, state);
    return;
  }
  Text notice;
  std::optional<Control> button;
  for (int i = 0; i < kHotKeyActionCount; ++i) {
    if (state.keys[i].empty() || state.numbers[i] != 0) continue;
    if (!notice.empty()) notice += "\r\n";
    notice += "热键 " + HotKeyDisplayText(state.keys[i]) + "（" + kActions[i].label + "）" +
              Problem(state.keys[i]);
    if (!button) button = kActions[i].button;
  }
  if (button)
    services.Get<WindowControls>().ShowBalloonAtControl(Control::气球提示框1, *button, notice);
}

void HotKeyRefusedLater(Uses<WindowControls, Dialogs, SystemHotKeys, Settings> services,
                        HotKeyState& state, int number) {
  if (number == 0) return;
  bool known = false;
  for (int& registered : state.numbers)
    if (registered == number) {
      registered = 0;
      known = true;
    }
  // The balloon names every key not in force, so one refused after another adds to it.
  if (known) AnnounceRefusedHotKeys(services, state);
}

void DispatchHotKey(const HotKeyState& state, int number,
                    const std::function<void(HotKeyAction)>& run) {
  if (number == 0) return;
  for (int i = 0; i < kHotKeyActionCount; ++i)
    if (state.numbers[i] == number) run(static_cast<HotKeyAction>(i));
}

void ShowHotKeyTip(Uses<WindowControls, SystemHotKeys> services, const HotKeyState& state,
                   Control button) {
  auto& controls = services.Get<WindowControls>();
  for (int i = 0; i < kHotKeyActionCount; ++i) {
    const ActionDescription& action = kActions[i];
    if (action.button != button) continue;
    const Text& keys = state.keys[i];
    if (action.tip == Tip::Never || (keys.empty() && action.tip == Tip::WhenSet)) return;
    Text text = "热键：" + (keys.empty() ? Text("无") : HotKeyDisplayText(keys));
    // Otherwise the user never learns why the key does nothing.
    if (!keys.empty() && state.numbers[i] == 0 &&
        (services.Get<SystemHotKeys>().TakesGlobalHotKeys() || !ParseHotKeyText(keys))) {
      text += "\r\n（热键";
      text += Problem(keys);
      text += "）";
    }
    controls.ShowBalloon(Control::气球提示框1, controls.MouseX(), controls.MouseY(), text, -1,
                         Text());
    return;
  }
}

void ChooseHotKeys(Uses<Dialogs, SystemHotKeys, Settings> services, HotKeyState& state) {
  // Our own grabs would take the keys the user presses in the dialog.
  UnregisterHotKeys(services, state);
  std::vector<HotKeyField> fields;
  for (int i = 0; i < kHotKeyActionCount; ++i) fields.push_back({kActions[i].label, state.keys[i]});
  const HotKeyCheck check = [&services](int field, const Text& keys) {
    return CheckKey(services, field, keys);
  };
  if (services.Get<Dialogs>().EditHotKeys(fields, check)) {
    for (int i = 0; i < kHotKeyActionCount; ++i) {
      if (fields[i].keys == state.keys[i]) continue;
      state.keys[i] = fields[i].keys;
      services.Get<Settings>().SetSetting(kActions[i].setting, state.keys[i]);
    }
  }
  RegisterHotKeys(services, state);
}
