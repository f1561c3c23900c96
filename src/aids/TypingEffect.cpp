#include "aids/TypingEffect.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "aids/TypingRhythm.h"

namespace {
constexpr const char* kNaturalKey = "typing/natural";
}  // namespace

void LoadNaturalRhythm(RuntimeServices& services, TypingState& state) {
  state.natural = services.GetSetting(kNaturalKey) == "true";
  services.SetMenuItemChecked(MenuItem::自然节奏, state.natural);
}

void ToggleNaturalRhythm(RuntimeServices& services, TypingState& state) {
  state.natural = !state.natural;
  services.SetSetting(kNaturalKey, state.natural ? "true" : "false");
  services.SetMenuItemChecked(MenuItem::自然节奏, state.natural);
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

int TypingInterval(RuntimeServices& services, const Text& speed) {
  const double interval = std::trunc(services.ToNumber(speed) * 30.0);
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

void RestoreTypingSpeed(RuntimeServices& services) {
  const Text speed = services.GetSetting(kSpeedSetting);
  if (IsSpinnerSpeed(speed)) services.SetProperty(Control::编辑框3, Property::Content, speed);
}

void RememberTypingSpeed(RuntimeServices& services) {
  const Text speed = services.GetProperty(Control::编辑框3, Property::Content).AsText();
  if (IsSpinnerSpeed(speed)) services.SetSetting(kSpeedSetting, speed);
}

bool IsTypingUnderWay(Threads& threads, const TypingState& state) {
  return state.thread != 0 && !state.stopped && threads.IsThreadRunning(state.thread);
}

void StopTyping(RuntimeServices& services, TypingState& state) {
  if (!IsTypingUnderWay(services, state)) return;
  services.KillThread(state.thread);
  state.stopped = true;
  ShowTypingIdle(services);
}

void ShowTypingIdle(WindowControls& controls) {
  controls.SetProperty(Control::按钮1, Property::Caption, Text("打字控制"));
  controls.SetProperty(Control::按钮1, Property::Disabled, true);
}

void StartTyping(RuntimeServices& services, TypingState& state) {
  services.SetProperty(Control::按钮1, Property::Disabled, false);
  Text script = services.GetProperty(Control::编辑框1, Property::Content).AsText();
  // A run still typing or paused: its editor holds only part of the script.
  if (IsTypingUnderWay(services, state)) {
    services.KillThread(state.thread);
    script = state.job.text;
  }
  state.stopped = false;
  services.SetProperty(Control::编辑框1, Property::Content, Text());
  services.SetProperty(Control::按钮1, Property::Caption, Text("暂停"));
  const Text speed = services.GetProperty(Control::编辑框3, Property::Content).AsText();
  state.job = TypingJob{Control::编辑框1, script, TypingInterval(services, speed), state.natural,
                        static_cast<std::uint64_t>(services.TickCount())};

  int handle = 0;
  const TypingJob job = state.job;
  if (!services.StartThread([&services, job](int) { TypingWorker(services, job); }, 0, &handle))
    handle = 0;
  state.thread = handle;
}

void ToggleTypingPause(RuntimeServices& services, TypingState& state) {
  if (!IsTypingUnderWay(services, state)) return;
  if (services.ResumeThread(state.thread) != 0) {
    services.SetProperty(Control::按钮1, Property::Caption, Text("暂停"));
  } else {
    services.SuspendThread(state.thread);
    services.SetProperty(Control::按钮1, Property::Caption, Text("继续"));
  }
}

void TypingWorker(RuntimeServices& services, TypingJob job) {
  services.SetProperty(job.target, Property::Content, Text());
  TypingSchedule schedule(services, job.interval, job.natural, job.seed);
  schedule.Start();
  for (const Text& step : TypingSteps(job.text)) {
    // A pause holds here, before the next character, and is left out of the beat; a
    // stop ends the run.
    const long long before = services.TickCount();
    if (!services.ProcessEvents()) return;
    schedule.LeaveOut(before);
    services.AppendText(job.target, {step});
    services.RefreshNow(job.target);
    if (!services.Delay(schedule.WaitAfter(step))) return;
  }
  // Skipped when the run was stopped: a newer run may own the button by then.
  ShowTypingIdle(services);
}
