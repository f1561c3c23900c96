#include "aids/TypingIntoWindow.h"

#include <optional>
#include <string>

#include "aids/TypingRhythm.h"

namespace {

constexpr const char* kModeKey = "typing/intoFocusedWindow";
constexpr int kEscape = 0x1B;
constexpr int kNoModifier = 0;
constexpr int kHeldKeysRetry = 10;  // ms between tries while the user holds a modifier
constexpr int kBusyKeyRetry = 5;    // ms between tries while no key is free for a character
constexpr int kPausedCheck = 50;    // ms between looks at the window while paused

bool RunActive(Threads& threads, const WindowTypingState& state) {
  return state.thread != 0 && threads.IsThreadRunning(state.thread);
}

void GrabEscape(SystemHotKeys& hotKeys, WindowTypingState& state) {
  if (state.escapeKey == 0)
    state.escapeKey =
        hotKeys.RegisterGlobalHotKey(Control::_启动窗口, Control::标签1, kNoModifier, kEscape);
}

void ReleaseEscape(SystemHotKeys& hotKeys, WindowTypingState& state) {
  if (state.escapeKey != 0) hotKeys.UnregisterGlobalHotKey(state.escapeKey);
  state.escapeKey = 0;
}

void Pause(Uses<WindowControls, SystemHotKeys> services, WindowTypingState& state) {
  if (state.paused) return;
  state.paused = true;
  ReleaseEscape(services, state);
  services.Get<WindowControls>().SetProperty(Control::按钮1, Property::Caption, Text("继续"));
}

// Continues only when the run's window has the focus again; false when the run has
// ended because its window is gone.
bool TryContinue(Uses<WindowControls, Threads, Typing, SystemHotKeys> services,
                 WindowTypingState& state) {
  switch (services.Get<Typing>().SendCharacter(state.job.window, Text())) {
    case CharacterDelivery::Sent:
    case CharacterDelivery::KeysHeld:
    case CharacterDelivery::KeyBusy:
      GrabEscape(services, state);
      state.paused = false;
      services.Get<WindowControls>().SetProperty(Control::按钮1, Property::Caption, Text("暂停"));
      return true;
    case CharacterDelivery::NotFocused:
      return true;
    case CharacterDelivery::WindowGone:
    case CharacterDelivery::Unavailable:
      break;
  }
  EndWindowTyping(services, state);
  return false;
}

// How many of the steps cannot be keyed into other windows here.
std::size_t UnkeyableSteps(Typing& keyboard, const std::vector<Text>& steps) {
  std::size_t count = 0;
  for (const Text& step : steps)
    if (!keyboard.CanKeyIntoWindows(step)) ++count;
  return count;
}

// Before a run that has characters the desktop cannot key: the user chooses to paste them
// in their place (and with which keys) or to cancel; where nothing can be pasted into other
// windows either, to type the rest or to cancel. nullopt: cancelled.
std::optional<UnkeyablePaste> ChoosePaste(Uses<Dialogs, Typing> services, const Text& script) {
  const std::size_t unkeyable = UnkeyableSteps(services, TypingSteps(script));
  if (unkeyable == 0) return UnkeyablePaste::None;
  auto& dialogs = services.Get<Dialogs>();
  const Text count = "这段文字里有 " + std::to_string(unkeyable) + " 个字符（如中文）";
  if (!services.Get<Typing>().CanPasteIntoWindows()) {
    const Text notice = count +
                        "在这个桌面上不能用键盘打出，也不能经剪贴板粘贴到其他程序："
                        "这个桌面只让有键盘焦点的程序使用剪贴板。\n\n"
                        "确定：只打其余的字符，这些字符不打\n"
                        "取消：不打字";
    if (dialogs.ShowMessageBox(Value(notice), kMbOkCancel | kMbIconExclamation,
                               Text("打字到当前窗口")) == kAnswerOk)
      return UnkeyablePaste::Left;
    return std::nullopt;
  }
  const Text question = count +
                        "在这个桌面上不能用键盘打出。\n\n"
                        "要把它们经剪贴板粘贴在原位吗？\n"
                        "是：用 Ctrl+V 粘贴\n"
                        "否：用 Ctrl+Shift+V 粘贴（打到终端里时选这个）\n"
                        "取消：不打字";
  switch (dialogs.ShowMessageBox(Value(question), kMbYesNoCancel | kMbIconQuestion,
                                 Text("打字到当前窗口"))) {
    case kAnswerYes:
      return UnkeyablePaste::CtrlV;
    case kAnswerNo:
      return UnkeyablePaste::CtrlShiftV;
    default:
      return std::nullopt;
  }
}

void StartWindowTyping(Uses<WindowControls, Dialogs, Threads, Typing, SystemHotKeys> services,
                       WindowTypingState& state, TypingState& editorTyping, int window) {
  auto& controls = services.Get<WindowControls>();
  auto& threads = services.Get<Threads>();
  // An editor run holds only part of the script in the editor: the whole is its job's.
  const bool editorRunning =
      editorTyping.thread != 0 && threads.IsThreadRunning(editorTyping.thread);
  const Text script = editorRunning
                          ? editorTyping.job.text
                          : controls.GetProperty(Control::编辑框1, Property::Content).AsText();
  const std::optional<UnkeyablePaste> paste = ChoosePaste(services, script);
  if (!paste) return;
  // The editor run ends, and the editor gets the whole script back.
  if (editorRunning) {
    threads.KillThread(editorTyping.thread);
    controls.SetProperty(Control::编辑框1, Property::Content, script);
  }
  const Text speed = controls.GetProperty(Control::编辑框3, Property::Content).AsText();
  state.job = WindowTypingJob{window,
                              script,
                              TypingInterval(speed),
                              editorTyping.natural,
                              static_cast<std::uint64_t>(threads.TickCount()),
                              *paste};
  state.paused = false;
  controls.SetProperty(Control::按钮1, Property::Disabled, false);
  controls.SetProperty(Control::按钮1, Property::Caption, Text("暂停"));
  GrabEscape(services, state);
  int handle = 0;
  const WindowTypingJob job = state.job;
  WindowTypingState* shared = &state;
  if (!threads.StartThread(
          [services, shared, job](int) { WindowTypingWorker(services, *shared, job); }, 0, &handle))
    handle = 0;
  state.thread = handle;
  if (handle == 0) ReleaseEscape(services, state);
}

}  // namespace

void LoadTypingMode(Uses<WindowControls, Settings> services, WindowTypingState& state) {
  state.intoFocusedWindow = services.Get<Settings>().GetSetting(kModeKey) == "true";
  services.Get<WindowControls>().SetMenuItemChecked(MenuItem::打字到当前窗口,
                                                    state.intoFocusedWindow);
}

void ToggleTypingMode(Uses<WindowControls, Settings> services, WindowTypingState& state) {
  state.intoFocusedWindow = !state.intoFocusedWindow;
  services.Get<Settings>().SetSetting(kModeKey, state.intoFocusedWindow ? "true" : "false");
  services.Get<WindowControls>().SetMenuItemChecked(MenuItem::打字到当前窗口,
                                                    state.intoFocusedWindow);
}

void TypingHotKeyPressed(Uses<WindowControls, Dialogs, Threads, Typing, SystemHotKeys> services,
                         WindowTypingState& state, TypingState& editorTyping) {
  if (RunActive(services, state)) {
    if (!state.paused) return Pause(services, state);
    // A run whose window is gone has ended: this press starts afresh.
    if (TryContinue(services, state)) return;
  }
  const int window = state.intoFocusedWindow ? services.Get<Typing>().FocusedWindow() : 0;
  if (window == 0) return StartTyping(services, editorTyping);
  StartWindowTyping(services, state, editorTyping, window);
}

void TypingControlPressed(Uses<WindowControls, Threads, Typing, SystemHotKeys> services,
                          WindowTypingState& state, TypingState& editorTyping) {
  if (!RunActive(services, state)) return ToggleTypingPause(services, editorTyping);
  if (!state.paused) return Pause(services, state);
  TryContinue(services, state);
}

bool WindowTypingKeyPressed(Uses<WindowControls, Threads, SystemHotKeys> services,
                            WindowTypingState& state, int number) {
  if (number == 0 || number != state.escapeKey) return false;
  EndWindowTyping(services, state);
  return true;
}

void EndWindowTyping(Uses<WindowControls, Threads, SystemHotKeys> services,
                     WindowTypingState& state) {
  ReleaseEscape(services, state);
  if (state.thread != 0) {
    services.Get<Threads>().KillThread(state.thread);
    ShowTypingIdle(services);
  }
  state.thread = 0;
  state.paused = false;
}

namespace {

// While paused: the keyboard map is given back, and the window is looked at now and then,
// so that a run whose window has closed ends at once. False when the run ends.
bool HoldWhilePaused(Uses<Threads, Typing> services, const WindowTypingState& state, int window) {
  auto& keyboard = services.Get<Typing>();
  keyboard.RestoreKeyboardMap();
  while (state.paused) {
    if (!services.Get<Threads>().Delay(kPausedCheck)) return false;
    const CharacterDelivery answer = keyboard.SendCharacter(window, Text());
    if (answer == CharacterDelivery::WindowGone || answer == CharacterDelivery::Unavailable)
      return false;
  }
  return true;
}

}  // namespace

namespace {

// The steps the run pastes: where some cannot be keyed, a stretch of them goes in one paste,
// at the time of its first step. pasteEnd[n] is one past the stretch that starts at n, or n.
std::vector<std::size_t> PastedStretches(Typing& keyboard, const std::vector<Text>& steps,
                                         UnkeyablePaste paste) {
  std::vector<std::size_t> ends(steps.size());
  for (std::size_t n = steps.size(); n-- > 0;) {
    const bool pasted = (paste == UnkeyablePaste::CtrlV || paste == UnkeyablePaste::CtrlShiftV) &&
                        !keyboard.CanKeyIntoWindows(steps[n]);
    ends[n] = !pasted ? n : (n + 1 < steps.size() && ends[n + 1] > n + 1 ? ends[n + 1] : n + 1);
  }
  return ends;
}

}  // namespace

void WindowTypingWorker(Uses<WindowControls, Threads, Typing, SystemHotKeys> services,
                        WindowTypingState& state, WindowTypingJob job) {
  auto& threads = services.Get<Threads>();
  auto& keyboard = services.Get<Typing>();
  const auto finish = [&] {
    // Skipped when the run was ended from outside: its state may belong to a newer run.
    threads.RunOnUiThread([&] {
      ReleaseEscape(services, state);
      state.thread = 0;
      state.paused = false;
      ShowTypingIdle(services);
    });
    keyboard.RestoreKeyboardMap();
  };
  const std::vector<Text> steps = TypingSteps(job.text);
  const std::vector<std::size_t> pasteEnd = PastedStretches(services, steps, job.paste);
  TypingSchedule schedule(services, job.interval, job.natural, job.seed);
  schedule.Start();
  for (std::size_t n = 0; n < steps.size(); ++n) {
    // Agreed before the run: not typed, and no time of the beat either.
    if (job.paste == UnkeyablePaste::Left && !keyboard.CanKeyIntoWindows(steps[n])) continue;
    const std::size_t last = pasteEnd[n] > n ? pasteEnd[n] - 1 : n;
    for (bool sent = false; !sent;) {
      // Time spent paused or waiting for the user's keys is left out of the beat.
      const long long before = threads.TickCount();
      if (!threads.ProcessEvents()) return finish();
      if (state.paused && !HoldWhilePaused(services, state, job.window)) return finish();
      schedule.LeaveOut(before);
      CharacterDelivery answer;
      if (pasteEnd[n] > n) {
        Text stretch;
        for (std::size_t k = n; k <= last; ++k) stretch += steps[k];
        answer =
            keyboard.PasteIntoWindow(job.window, stretch, job.paste == UnkeyablePaste::CtrlShiftV);
      } else {
        // Normally readied during the previous step's wait; at the start and after a
        // pause, here.
        keyboard.PrepareCharacters(steps, n);
        answer = keyboard.SendCharacter(job.window, steps[n]);
      }
      switch (answer) {
        case CharacterDelivery::Sent:
          sent = true;
          break;
        case CharacterDelivery::KeysHeld: {
          const long long held = threads.TickCount();
          if (!threads.Delay(kHeldKeysRetry)) return finish();
          schedule.LeaveOut(held);
          break;
        }
        case CharacterDelivery::KeyBusy:
          if (!threads.Delay(kBusyKeyRetry)) return finish();
          break;
        case CharacterDelivery::NotFocused:
          // Held at the next try until continued.
          threads.RunOnUiThread([&] { Pause(services, state); });
          break;
        case CharacterDelivery::WindowGone:
        case CharacterDelivery::Unavailable:
          return finish();
      }
    }
    // The next step's keys are readied now, ahead of its time.
    if (last + 1 < steps.size() && pasteEnd[last + 1] == last + 1)
      keyboard.PrepareCharacters(steps, last + 1);
    // A pasted stretch keeps the beat of the steps it stands for.
    int wait = 0;
    for (; n <= last; ++n) wait = schedule.WaitAfter(steps[n]);
    n = last;
    if (!threads.Delay(wait)) return finish();
  }
  finish();
}
