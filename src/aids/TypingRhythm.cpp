#include "aids/TypingRhythm.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSpread = 0.4;           // natural gaps vary by up to this share
constexpr double kClausePause = 2.0;      // extra gaps after a clause or sentence mark
constexpr double kLinePause = 5.0;        // extra gaps after a line end
constexpr double kMakeUp = 0.05;          // share of the time ahead made up at each gap
constexpr double kShortestGap = 0.35;     // no natural gap is shorter (share of the interval)
constexpr double kShortestCatchUp = 0.7;  // a late run's waits, as a share of the gap

bool IsLineEnd(const Text& step) { return step == "\r\n" || step == "\n" || step == "\r"; }

bool IsClauseMark(const Text& step) {
  static const Text marks[] = {"，", "、", "；", "：", "。", "！", "？",
                               "…",  ",",  ";",  ":",  ".",  "!",  "?"};
  return std::find(std::begin(marks), std::end(marks), step) != std::end(marks);
}

}  // namespace

TypingGaps::TypingGaps(int interval, bool natural, std::uint64_t seed)
    : interval_(interval), natural_(natural), state_(seed) {}

double TypingGaps::NextSpread() {
  // splitmix64: small, and the same numbers on every platform for a seed.
  const auto next = [this] {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<double>((z ^ (z >> 31)) >> 11) / 9007199254740992.0;  // 0 .. 1
  };
  // The mean of two: gaps near the interval are more frequent than far ones.
  return next() + next() - 1.0;
}

double TypingGaps::After(const Text& step) {
  if (!natural_) return interval_;
  double gap = interval_ * (1.0 + kSpread * NextSpread());
  if (IsLineEnd(step))
    gap += kLinePause * interval_;
  else if (IsClauseMark(step))
    gap += kClausePause * interval_;
  gap = std::max(gap - kMakeUp * ahead_, kShortestGap * interval_);
  ahead_ += gap - interval_;
  return gap;
}

TypingSchedule::TypingSchedule(Threads& clock, int interval, bool natural, std::uint64_t seed)
    : clock_(clock),
      pauses_(interval >= 0),
      gaps_(interval == 0 ? 250 : std::max(interval, 0), natural, seed) {}

void TypingSchedule::Start() { due_ = static_cast<double>(clock_.TickCount()); }

void TypingSchedule::LeaveOut(long long since) {
  const long long paused = clock_.TickCount() - since;
  if (paused > 0) due_ += static_cast<double>(paused);
}

int TypingSchedule::WaitAfter(const Text& step) {
  if (!pauses_) return 0;
  const long long now = clock_.TickCount();
  const double gap = gaps_.After(step);
  due_ += gap;
  // On time (or early): wait for the due time. Late: a shorter wait, but not so short
  // that the beat turns into a burst.
  const double wait = std::max(due_ - static_cast<double>(now), kShortestCatchUp * gap);
  return static_cast<int>(std::lround(wait));
}
