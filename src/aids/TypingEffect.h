#pragma once

#include <cstdint>

#include "framework/Settings.h"
#include "framework/Threads.h"
#include "framework/Uses.h"
#include "framework/WindowControls.h"

// The typing effect: the editor's script is taken, the editor emptied, and the
// script typed back one character per step on a worker thread.
struct TypingJob {
  Control target = Control::编辑框1;
  Text text;               // the whole script of the current run
  int interval = 0;        // milliseconds after each step; 0 means 250, negative no pause
  bool natural = false;    // a human rhythm around the interval (TypingRhythm.h)
  std::uint64_t seed = 0;  // of the natural rhythm's spread
};

struct TypingState {
  TypingJob job;
  int thread = 0;        // TypingThread: the latest worker's handle, 0 before the first run
  bool stopped = false;  // the latest run was ended by StopTyping
  bool natural = false;  // the menu's "自然节奏", for the editor and other windows alike
};

// At start-up: the remembered "自然节奏" choice, shown as the menu item's check.
void LoadNaturalRhythm(Uses<WindowControls, Settings> services, TypingState& state);
// The menu item: switches the natural rhythm and remembers it.
void ToggleNaturalRhythm(Uses<WindowControls, Settings> services, TypingState& state);

// Whether a run is typing or paused: the editor then holds only part of its script.
bool IsTypingUnderWay(Threads& threads, const TypingState& state);
// Ends a run that is typing or paused, as a stop: nothing more is typed.
void StopTyping(Uses<WindowControls, Threads> services, TypingState& state);
// 按钮1 once no run is typing or paused: "打字控制", disabled, as before the first run.
void ShowTypingIdle(WindowControls& controls);

// 按钮7 "打字" and Ctrl+Q. A start while a run is typing or paused stops that run
// and starts over with its whole script, so nothing of it is lost.
void StartTyping(Uses<WindowControls, Threads> services, TypingState& state);
// 按钮1 "打字控制": pauses before the next character, or continues with it; nothing
// when no run is under way.
void ToggleTypingPause(Uses<WindowControls, Threads> services, TypingState& state);
// The worker's routine; it types its own copy of the job.
void TypingWorker(Uses<WindowControls, Threads> services, TypingJob job);

// The speed box (编辑框3) as last used, kept in the settings as typing/speed: restored
// at start-up when it is a whole number from 1 to 10, remembered at exit when it is one.
void RestoreTypingSpeed(Uses<WindowControls, Settings> services);
void RememberTypingSpeed(Uses<WindowControls, Settings> services);

// The steps of a script: whole characters, with CR LF as one step. An empty
// script has one empty step.
std::vector<Text> TypingSteps(const Text& script);
// The pause after each step for the speed box's text: number × 30 ms, truncated.
int TypingInterval(const Text& speed);
