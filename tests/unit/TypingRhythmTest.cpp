#include "aids/TypingRhythm.h"

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>
#include <sstream>

#include "aids/TypingEffect.h"
#include "framework/TextCodec.h"
#include "support/FakeRuntimeServices.h"

namespace {

std::vector<Text> TypicalScriptSteps() {
  std::ifstream file(TYPICAL_SCRIPT);
  std::stringstream utf8;
  utf8 << file.rdbuf();
  std::string text = utf8.str();
  // Line ends as the editor holds them.
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return TypingSteps(TextFromUtf8(crlf));
}

std::vector<double> Gaps(const std::vector<Text>& steps, std::uint64_t seed) {
  TypingGaps gaps(30, true, seed);
  std::vector<double> result;
  for (const Text& step : steps) result.push_back(gaps.After(step));
  return result;
}

double Mean(const std::vector<double>& values) {
  return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

// The natural rhythm over a typical script: the average speed is the chosen one, single
// gaps spread around it, marks and line ends pause, and a seed gives the same rhythm.
TEST(TypingRhythmTest, NaturalGapsKeepTheAverageAndPauseAtMarksAndLineEnds) {
  const std::vector<Text> steps = TypicalScriptSteps();
  ASSERT_GE(steps.size(), 500u);
  for (std::uint64_t seed : {1u, 2u, 77u}) {
    const std::vector<double> gaps = Gaps(steps, seed);
    EXPECT_NEAR(Mean({gaps.begin(), gaps.begin() + 500}), 30.0, 1.5) << seed;
    std::vector<double> plain, marks, lineEnds;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      if (steps[i] == "\r\n")
        lineEnds.push_back(gaps[i]);
      else if (steps[i] == "，" || steps[i] == "。" || steps[i] == "、")
        marks.push_back(gaps[i]);
      else
        plain.push_back(gaps[i]);
    }
    const auto [shortest, longest] = std::minmax_element(plain.begin(), plain.end());
    EXPECT_LT(*shortest, 0.8 * Mean(plain));
    EXPECT_GT(*longest, 1.2 * Mean(plain));
    EXPECT_GT(Mean(marks), 2 * Mean(plain));
    EXPECT_GT(Mean(lineEnds), 1.5 * Mean(marks));
  }
  EXPECT_EQ(Gaps(steps, 5), Gaps(steps, 5));
  EXPECT_NE(Gaps(steps, 5), Gaps(steps, 6));
  TypingGaps fixed(30, false, 5);
  EXPECT_EQ(fixed.After("，"), 30.0);
}

// Steps are due at start + n × interval: a late step is followed by shorter waits (never
// below 70 % of the interval) until the run is back on time; a pause is left out.
TEST(TypingRhythmTest, LateStepsCatchUpWithShorterWaitsAndPausesAreLeftOut) {
  FakeRuntimeServices services;  // its time moves only with Delay
  TypingSchedule schedule(services, 30, false, 1);
  schedule.Start();
  const long long start = services.TickCount();
  std::vector<int> waits;
  for (int step = 0; step < 40; ++step) {
    if (step == 5) services.Delay(120);  // the fifth step comes 120 ms late
    if (step == 20) {
      const long long paused = services.TickCount();
      services.Delay(1000);
      schedule.LeaveOut(paused);
    }
    waits.push_back(schedule.WaitAfter("a"));
    services.Delay(waits.back());
  }
  EXPECT_EQ(waits[4], 30);
  for (int step = 5; step < 40; ++step) EXPECT_GE(waits[step], 21) << step;
  EXPECT_LT(waits[5], 30);
  // Back on time well before the pause, and no hurry after it.
  EXPECT_EQ(waits[19], 30);
  EXPECT_EQ(std::vector<int>(waits.begin() + 20, waits.end()), std::vector<int>(20, 30));
  EXPECT_EQ(services.TickCount() - start, 40 * 30 + 1000);
}

}  // namespace
