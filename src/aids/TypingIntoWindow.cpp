#include "aids/TypingIntoWindow.h"

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

void Pause(RuntimeServices& services, WindowTypingState& state) {
  if (state.paused) return;
  state.paused = true;
  ReleaseEscape(services, state);
  services.SetProperty(Control::按钮1, Property::Caption, Text("继续"));
}

// Continues only when the run's window has the focus again; false when the run has
// ended because its window is gone.
bool TryContinue(RuntimeServices& services, WindowTypingState& state) {
  switch (services.SendCharacter(state.job.window, Text())) {
    case CharacterDelivery::Sent:
    case CharacterDelivery::KeysHeld:
    case CharacterDelivery::KeyBusy:
      GrabEscape(services, state);
      state.paused = false;
      services.SetProperty(Control::按钮1, Property::Caption, Text("暂停"));
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

void StartWindowTyping(RuntimeServices& services, WindowTypingState& state,
                       TypingState& editorTyping, int window) {
  Text script = services.GetProperty(Control::编辑框1, Property::Content).AsText();
  // An editor run holds only part of the script in the editor: it ends, and the editor
  // gets the whole script back.
  if (editorTyping.thread != 0 && services.IsThreadRunning(editorTyping.thread)) {
    services.KillThread(editorTyping.thread);
    script = editorTyping.job.text;
    services.SetProperty(Control::编辑框1, Property::Content, script);
  }
  const Text speed = services.GetProperty(Control::编辑框3, Property::Content).AsText();
  state.job = WindowTypingJob{window, script, TypingInterval(services, speed), editorTyping.natural,
                              static_cast<std::uint64_t>(services.TickCount())};
  state.paused = false;
  services.SetProperty(Control::按钮1, Property::Disabled, false);
  services.SetProperty(Control::按钮1, Property::Caption, Text("暂停"));
  GrabEscape(services, state);
  int handle = 0;
  const WindowTypingJob job = state.job;
  WindowTypingState* shared = &state;
  if (!services.StartThread(
          [&services, shared, job](int) { WindowTypingWorker(services, *shared, job); }, 0,
          &handle))
    handle = 0;
  state.thread = handle;
  if (handle == 0) ReleaseEscape(services, state);
}

}  // namespace

void LoadTypingMode(RuntimeServices& services, WindowTypingState& state) {
  state.intoFocusedWindow = services.GetSetting(kModeKey) == "true";
  services.SetMenuItemChecked(MenuItem::打字到当前窗口, state.intoFocusedWindow);
}

void ToggleTypingMode(RuntimeServices& services, WindowTypingState& state) {
  state.intoFocusedWindow = !state.intoFocusedWindow;
  services.SetSetting(kModeKey, state.intoFocusedWindow ? "true" : "false");
  services.SetMenuItemChecked(MenuItem::打字到当前窗口, state.intoFocusedWindow);
}

void TypingHotKeyPressed(RuntimeServices& services, WindowTypingState& state,
                         TypingState& editorTyping) {
  if (RunActive(services, state)) {
    if (!state.paused) return Pause(services, state);
    // A run whose window is gone has ended: this press starts afresh.
    if (TryContinue(services, state)) return;
  }
  const int window = state.intoFocusedWindow ? services.FocusedWindow() : 0;
  if (window == 0) return StartTyping(services, editorTyping);
  StartWindowTyping(services, state, editorTyping, window);
}

void TypingControlPressed(RuntimeServices& services, WindowTypingState& state,
                          TypingState& editorTyping) {
  if (!RunActive(services, state)) return ToggleTypingPause(services, editorTyping);
  if (!state.paused) return Pause(services, state);
  TryContinue(services, state);
}

bool WindowTypingKeyPressed(RuntimeServices& services, WindowTypingState& state, int number) {
  if (number == 0 || number != state.escapeKey) return false;
  EndWindowTyping(services, state);
  return true;
}

void EndWindowTyping(RuntimeServices& services, WindowTypingState& state) {
  ReleaseEscape(services, state);
  if (state.thread != 0) {
    services.KillThread(state.thread);
    ShowTypingIdle(services);
  }
  state.thread = 0;
  state.paused = false;
}

namespace {

// While paused: the keyboard map is given back, and the window is looked at now and then,
// so that a run whose window has closed ends at once. False when the run ends.
bool HoldWhilePaused(RuntimeServices& services, const WindowTypingState& state, int window) {
  services.RestoreKeyboardMap();
  while (state.paused) {
    if (!services.Delay(kPausedCheck)) return false;
    const CharacterDelivery answer = services.SendCharacter(window, Text());
    if (answer == CharacterDelivery::WindowGone || answer == CharacterDelivery::Unavailable)
      return false;
  }
  return true;
}

}  // namespace

void WindowTypingWorker(RuntimeServices& services, WindowTypingState& state, WindowTypingJob job) {
  const auto finish = [&] {
    // Skipped when the run was ended from outside: its state may belong to a newer run.
    services.RunOnUiThread([&] {
      ReleaseEscape(services, state);
      state.thread = 0;
      state.paused = false;
      ShowTypingIdle(services);
    });
    services.RestoreKeyboardMap();
  };
  const std::vector<Text> steps = TypingSteps(job.text);
  TypingSchedule schedule(services, job.interval, job.natural, job.seed);
  schedule.Start();
  for (std::size_t n = 0; n < steps.size(); ++n) {
    for (bool sent = false; !sent;) {
      // Time spent paused or waiting for the user's keys is left out of the beat.
      const long long before = services.TickCount();
      if (!services.ProcessEvents()) return finish();
      if (state.paused && !HoldWhilePaused(services, state, job.window)) return finish();
      schedule.LeaveOut(before);
      // Normally readied during the previous step's wait; at the start and after a pause,
      // here.
      services.PrepareCharacters(steps, n);
      switch (services.SendCharacter(job.window, steps[n])) {
        case CharacterDelivery::Sent:
          sent = true;
          break;
        case CharacterDelivery::KeysHeld: {
          const long long held = services.TickCount();
          if (!services.Delay(kHeldKeysRetry)) return finish();
          schedule.LeaveOut(held);
          break;
        }
        case CharacterDelivery::KeyBusy:
          if (!services.Delay(kBusyKeyRetry)) return finish();
          break;
        case CharacterDelivery::NotFocused:
          // Held at the next try until continued.
          services.RunOnUiThread([&] { Pause(services, state); });
          break;
        case CharacterDelivery::WindowGone:
        case CharacterDelivery::Unavailable:
          return finish();
      }
    }
    // The next step's keys are readied now, ahead of its time.
    if (n + 1 < steps.size()) services.PrepareCharacters(steps, n + 1);
    if (!services.Delay(schedule.WaitAfter(steps[n]))) return finish();
  }
  finish();
}
