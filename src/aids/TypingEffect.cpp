#include "aids/TypingEffect.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "aids/TypingRhythm.h"
#include "framework/TextOperations.h"

namespace {
constexpr const char* kNaturalKey = "typing/natural";
}  // namespace

void LoadNaturalRhythm(Uses<WindowControls, Settings> services, TypingState& state) {
  state.natural = services.Get<Settings>().GetSetting(kNaturalKey) == "true";
  services.Get<WindowControls>().SetMenuItemChecked(MenuItem::自然节奏, state.natural);
}

void ToggleNaturalRhythm(Uses<WindowControls, Settings> services, TypingState& state) {
  state.natural = !state.natural;
  services.Get<Settings>().SetSetting(kNaturalKey, state.natural ? "true" : "false");
  services.Get<WindowControls>().SetMenuItemChecked(MenuItem::自然节奏, state.natural);
}

std::vector<Text> TypingSteps(const Text& script) {
  std::vector<Text> steps;
  std::size_t i = 0;
  while (i < script.size()) {
    std::size_t length = static_cast<std::size_t>(CharacterLengthAt(script, i));
    if (script[i] == '\r' && i + 1 < script.size() && script[i + 1] == '\n') length = 2;
    steps.push_back(script.substr(i, length));
    i += length;
  }
  if (steps.empty()) steps.emplace_back();
  return steps;
}

int TypingInterval(const Text& speed) {
  const double interval = std::trunc(ToNumber(speed) * 30.0);
  // A huge speed text must not overflow the interval.
  if (interval >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (interval <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(interval);
}

namespace {

constexpr const char* kSpeedSetting = "typing/speed";

bool IsSpinnerSpeed(const Text& speed) {
  int value = 0;
  const char* end = speed.data() + speed.size();
  const auto [stop, error] = std::from_chars(speed.data(), end, value);
  return error == std::errc() && stop == end && value >= 1 && value <= 10;
}

}  // namespace

void RestoreTypingSpeed(Uses<WindowControls, Settings> services) {
  const Text speed = services.Get<Settings>().GetSetting(kSpeedSetting);
  if (IsSpinnerSpeed(speed))
    services.Get<WindowControls>().SetProperty(Control::编辑框3, Property::Content, speed);
}

void RememberTypingSpeed(Uses<WindowControls, Settings> services) {
  const Text speed =
      services.Get<WindowControls>().GetProperty(Control::编辑框3, Property::Content).AsText();
  if (IsSpinnerSpeed(speed)) services.Get<Settings>().SetSetting(kSpeedSetting, speed);
}

bool IsTypingUnderWay(Threads& threads, const TypingState& state) {
  return state.thread != 0 && !state.stopped && threads.IsThreadRunning(state.thread);
}

void StopTyping(Uses<WindowControls, Threads> services, TypingState& state) {
  auto& threads = services.Get<Threads>();
  if (!IsTypingUnderWay(threads, state)) return;
  threads.KillThread(state.thread);
  state.stopped = true;
  ShowTypingIdle(services);
}

void ShowTypingIdle(WindowControls& controls) {
  controls.SetProperty(Control::按钮1, Property::Caption, Text("打字控制"));
  controls.SetProperty(Control::按钮1, Property::Disabled, true);
}

void StartTyping(Uses<WindowControls, Threads> services, TypingState& state) {
  auto& controls = services.Get<WindowControls>();
  auto& threads = services.Get<Threads>();
  controls.SetProperty(Control::按钮1, Property::Disabled, false);
  Text script = controls.GetProperty(Control::编辑框1, Property::Content).AsText();
  // A run still typing or paused: its editor holds only part of the script.
  if (IsTypingUnderWay(threads, state)) {
    threads.KillThread(state.thread);
    script = state.job.text;
  }
  state.stopped = false;
  controls.SetProperty(Control::编辑框1, Property::Content, Text());
  controls.SetProperty(Control::按钮1, Property::Caption, Text("暂停"));
  const Text speed = controls.GetProperty(Control::编辑框3, Property::Content).AsText();
  state.job = TypingJob{Control::编辑框1, script, TypingInterval(speed), state.natural,
                        static_cast<std::uint64_t>(threads.TickCount())};

  int handle = 0;
  const TypingJob job = state.job;
  // The worker keeps its own copy of the roles: this call's is gone when it runs.
  if (!threads.StartThread([services, job](int) { TypingWorker(services, job); }, 0, &handle))
    handle = 0;
  state.thread = handle;
}

void ToggleTypingPause(Uses<WindowControls, Threads> services, TypingState& state) {
  auto& controls = services.Get<WindowControls>();
  auto& threads = services.Get<Threads>();
  if (!IsTypingUnderWay(threads, state)) return;
  if (threads.ResumeThread(state.thread) != 0) {
    controls.SetProperty(Control::按钮1, Property::Caption, Text("暂停"));
  } else {
    threads.SuspendThread(state.thread);
    controls.SetProperty(Control::按钮1, Property::Caption, Text("继续"));
  }
}

void TypingWorker(Uses<WindowControls, Threads> services, TypingJob job) {
  auto& controls = services.Get<WindowControls>();
  auto& threads = services.Get<Threads>();
  controls.SetProperty(job.target, Property::Content, Text());
  TypingSchedule schedule(threads, job.interval, job.natural, job.seed);
  schedule.Start();
  for (const Text& step : TypingSteps(job.text)) {
    // A pause holds here, before the next character, and is left out of the beat; a
    // stop ends the run.
    const long long before = threads.TickCount();
    if (!threads.ProcessEvents()) return;
    schedule.LeaveOut(before);
    controls.AppendText(job.target, {step});
    controls.RefreshNow(job.target);
    if (!threads.Delay(schedule.WaitAfter(step))) return;
  }
  // Skipped when the run was stopped: a newer run may own the button by then.
  ShowTypingIdle(services);
}
