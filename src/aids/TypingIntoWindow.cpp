#include "aids/TypingIntoWindow.h"

#include <algorithm>

namespace {

constexpr const char* kModeKey = "typing/intoFocusedWindow";
constexpr int kEscape = 0x1B;
constexpr int kNoModifier = 0;
constexpr int kHeldKeysRetry = 10;  // ms between tries while the user holds a modifier

bool RunActive(RuntimeServices& services, const WindowTypingState& state) {
  return state.thread != 0 && services.IsThreadRunning(state.thread);
}

void GrabEscape(RuntimeServices& services, WindowTypingState& state) {
  if (state.escapeKey == 0)
    state.escapeKey =
        services.RegisterGlobalHotKey(Control::_启动窗口, Control::标签1, kNoModifier, kEscape);
}

void ReleaseEscape(RuntimeServices& services, WindowTypingState& state) {
  if (state.escapeKey != 0) services.UnregisterGlobalHotKey(state.escapeKey);
  state.escapeKey = 0;
}

void Pause(RuntimeServices& services, WindowTypingState& state) {
  if (state.paused) return;
  services.SuspendThread(state.thread);
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
      GrabEscape(services, state);
      state.paused = false;
      services.ResumeThread(state.thread);
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
  state.job = WindowTypingJob{window, script, TypingInterval(services, speed)};
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
  if (job.interval == 0) job.interval = 250;
  long long beat = services.TickCount();
  for (const Text& step : TypingSteps(job.text)) {
    for (bool sent = false; !sent;) {
      // A pause holds here, before the next character; a stop ends the run.
      if (!services.ProcessEvents()) return finish();
      switch (services.SendCharacter(job.window, step)) {
        case CharacterDelivery::Sent:
          sent = true;
          break;
        case CharacterDelivery::KeysHeld:
          if (!services.Delay(kHeldKeysRetry)) return finish();
          break;
        case CharacterDelivery::NotFocused:
          services.RunOnUiThread([&] { Pause(services, state); });
          // Held here until continued; never a busy loop.
          if (!services.Delay(kHeldKeysRetry)) return finish();
          break;
        case CharacterDelivery::WindowGone:
        case CharacterDelivery::Unavailable:
          return finish();
      }
    }
    // The same beat as the editor typing: a step's own time comes off its pause, and
    // after a pause the beat starts afresh.
    const long long now = services.TickCount();
    if (job.interval < 0 || now - beat > job.interval) beat = now;
    if (job.interval < 0) {
      if (!services.Delay(job.interval)) return finish();
      continue;
    }
    beat += job.interval;
    if (!services.Delay(static_cast<int>(std::max(beat - services.TickCount(), 0LL))))
      return finish();
  }
  finish();
}
