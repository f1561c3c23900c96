#pragma once

#include <cstdint>
#include <vector>

#include "framework/Threads.h"
#include "framework/Types.h"

// The gaps between the steps of a run. Fixed: every gap is the interval. Natural: each
// gap varies around the interval (a seeded spread of up to +-40 %), a clause or sentence
// mark is followed by a short pause and a line end by a longer one, and the time those
// pauses add is made up over the following gaps, so that the average speed stays the
// chosen one. The same seed gives the same gaps.
class TypingGaps {
 public:
  TypingGaps(int interval, bool natural, std::uint64_t seed);
  // The gap after the step, in milliseconds (the interval itself when not natural).
  double After(const Text& step);

 private:
  double NextSpread();  // in -1 .. 1, most often near 0

  double interval_;
  bool natural_;
  std::uint64_t state_;
  double ahead_ = 0;  // how much longer than interval × steps the gaps have been so far
};

// When each step of a run is due: start + the sum of the gaps before it, with the time
// spent paused left out. A late step is followed by shorter waits (never below 70 % of
// the gap, so the beat stays even) until the run is back on time.
class TypingSchedule {
 public:
  // A negative interval types without pauses; 0 means 250 ms.
  TypingSchedule(Threads& clock, int interval, bool natural, std::uint64_t seed);
  // The run starts (or continues) now.
  void Start();
  // The time since `since` (a tick count) was a pause: every later step is due that
  // much later.
  void LeaveOut(long long since);
  // After the step has been typed: how long to wait before the next one.
  int WaitAfter(const Text& step);

 private:
  Threads& clock_;
  bool pauses_;
  TypingGaps gaps_;
  double due_ = 0;  // tick count at which the next step is due
};
