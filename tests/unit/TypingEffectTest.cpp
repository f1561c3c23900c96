#include "aids/TypingEffect.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "support/FakeRuntimeServices.h"

namespace {

using namespace std::chrono_literals;

class TypingEffectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services.Preset(Control::编辑框3, Property::Content, Text("7"));
    services.Preset(Control::按钮1, Property::Disabled, true);
  }

  // Starts a run over the script and waits until its worker has ended.
  void TypeToTheEnd(const Text& script) {
    services.Preset(Control::编辑框1, Property::Content, script);
    StartTyping(services, state);
    ASSERT_TRUE(services.WaitForThread(state.thread));
  }

  std::vector<Text> Appended() {
    std::vector<Text> pieces;
    for (const auto& call : services.CallsOf<AppendTextCall>()) pieces.push_back(call.text);
    return pieces;
  }

  Text Editor() { return services.Peek(Control::编辑框1, Property::Content).AsText(); }
  Text Caption() { return services.Peek(Control::按钮1, Property::Caption).AsText(); }

  FakeRuntimeServices services;
  TypingState state;
};

TEST_F(TypingEffectTest, TypesOneCharacterPerStepWithLineBreaksAsOneStep) {
  TypeToTheEnd("AB\r\n中文");
  EXPECT_EQ(Appended(), (std::vector<Text>{"A", "B", "\r\n", "中", "文"}));
  EXPECT_EQ(Editor(), "AB\r\n中文");
  EXPECT_EQ(services.Delays(), (std::vector<int>(5, 210)));
  EXPECT_EQ(services.CallsOf<RefreshNowCall>().size(), 5u);
}

TEST_F(TypingEffectTest, EditorIsEmptiedBeforeTheFirstCharacter) {
  TypeToTheEnd("xy");
  const auto calls = services.Calls();
  auto firstAppend = std::find_if(calls.begin(), calls.end(), [](const RecordedCall& c) {
    return std::holds_alternative<AppendTextCall>(c);
  });
  auto emptied = std::find_if(calls.begin(), firstAppend, [](const RecordedCall& c) {
    const auto* set = std::get_if<SetPropertyCall>(&c);
    return set && set->control == Control::编辑框1 && set->property == Property::Content &&
           set->value.AsText().empty();
  });
  EXPECT_NE(emptied, firstAppend);
}

TEST_F(TypingEffectTest, EmptyEditorMakesOneEmptyStep) {
  TypeToTheEnd("");
  EXPECT_EQ(Appended(), (std::vector<Text>{""}));
  EXPECT_EQ(services.Delays().size(), 1u);
  EXPECT_EQ(Editor(), "");
}

// Full-width punctuation, stars, a tab, a bare LF and a character GBK lacks are
// typed back exactly as they stood.
TEST_F(TypingEffectTest, ScriptIsTypedBackByteForByte) {
  const Text script = "你好，世界！(test)★☆\t尾\n" + Text("\x95\x32\x82\x36", 4) + "：？（）";
  TypeToTheEnd(script);
  EXPECT_EQ(Editor(), script);
  Text joined;
  for (const Text& piece : Appended()) {
    EXPECT_LE(piece.size(), 4u);
    joined += piece;
  }
  EXPECT_EQ(joined, script);
  EXPECT_EQ(Appended()[5], "！");
  EXPECT_EQ(Appended().back(), "）");
}

TEST_F(TypingEffectTest, SpeedTextGivesTheIntervalAfterEachStep) {
  struct Case {
    const char* speed;
    int expected;
  };
  for (const Case& c : {Case{"7", 210}, Case{"abc", 250}, Case{"0", 250}, Case{"0.01", 250},
                        Case{"１０", 300}, Case{"2.5", 75}}) {
    FakeRuntimeServices local;
    TypingState localState;
    local.Preset(Control::编辑框3, Property::Content, Text(c.speed));
    local.Preset(Control::编辑框1, Property::Content, Text("ab"));
    StartTyping(local, localState);
    ASSERT_TRUE(local.WaitForThread(localState.thread));
    EXPECT_EQ(local.Delays(), (std::vector<int>{c.expected, c.expected})) << c.speed;
  }
}

TEST_F(TypingEffectTest, NegativeSpeedMeansNoPause) {
  services.Preset(Control::编辑框3, Property::Content, Text("-1"));
  TypeToTheEnd("ab");
  for (int delay : services.Delays()) EXPECT_LE(delay, 0);
  EXPECT_EQ(Editor(), "ab");
  EXPECT_EQ(TypingInterval("99999999999"), std::numeric_limits<int>::max());
}

// "自然节奏" is off by default and remembered; on, the editor's waits vary around the beat.
TEST_F(TypingEffectTest, NaturalRhythmIsARememberedMenuSwitch) {
  const Text script = "一二三四五六七八九十，一二三四五六七八九十。";
  services.Preset(Control::编辑框3, Property::Content, Text("1"));
  LoadNaturalRhythm(services, state);
  EXPECT_FALSE(state.natural);
  TypeToTheEnd(script);
  EXPECT_EQ(services.Delays(), std::vector<int>(22, 30));

  ToggleNaturalRhythm(services, state);
  EXPECT_EQ(services.settings["typing/natural"], "true");
  TypingState restarted;
  LoadNaturalRhythm(services, restarted);
  EXPECT_TRUE(restarted.natural);
  const auto check = services.CallsOf<SetMenuItemCheckedCall>().back();
  EXPECT_EQ(check.item, MenuItem::自然节奏);
  EXPECT_TRUE(check.checked);

  TypeToTheEnd(script);
  const std::vector<int> all = services.Delays();
  const std::vector<int> natural(all.begin() + 22, all.end());
  ASSERT_EQ(natural.size(), 22u);
  EXPECT_NE(*std::min_element(natural.begin(), natural.end()),
            *std::max_element(natural.begin(), natural.end()));
  EXPECT_GT(natural[10], 2 * 30 - 5) << "a pause after the comma";
}

// Holds the worker in its first pause until the test has acted, as a click
// landing during that pause would.
class FirstPause {
 public:
  explicit FirstPause(FakeRuntimeServices& services) {
    services.onDelay = [this](int) {
      if (++delays_ != 1) return;
      reached_.set_value();
      released_.wait();
    };
  }
  bool WaitUntilReached() {
    return reached_.get_future().wait_for(5s) == std::future_status::ready;
  }
  void Release() { release_.set_value(); }

 private:
  std::atomic<int> delays_{0};
  std::promise<void> reached_;
  std::promise<void> release_;
  std::shared_future<void> released_ = release_.get_future().share();
};

// 打字控制 serves a run while it lasts; after it, the button is idle again and a click
// on it changes nothing.
TEST_F(TypingEffectTest, TypingControlIsIdleOnceTheRunHasEnded) {
  FirstPause pause(services);
  services.Preset(Control::编辑框1, Property::Content, Text("AB"));
  StartTyping(services, state);
  ASSERT_TRUE(pause.WaitUntilReached());
  EXPECT_EQ(services.Peek(Control::按钮1, Property::Disabled), Value(false));
  EXPECT_EQ(Caption(), "暂停");
  pause.Release();
  ASSERT_TRUE(services.WaitForThread(state.thread));
  EXPECT_EQ(services.Peek(Control::按钮1, Property::Disabled), Value(true));
  EXPECT_EQ(Caption(), "打字控制");
  ToggleTypingPause(services, state);
  EXPECT_EQ(Caption(), "打字控制");
}

TEST_F(TypingEffectTest, PauseStopsBeforeTheNextCharacterAndContinueTypesExactlyIt) {
  FirstPause pause(services);
  services.Preset(Control::编辑框1, Property::Content, Text("ABC"));
  StartTyping(services, state);
  ASSERT_TRUE(pause.WaitUntilReached());
  ToggleTypingPause(services, state);
  EXPECT_EQ(Caption(), "继续");
  pause.Release();
  ASSERT_TRUE(services.WaitUntilThreadHeld(state.thread)) << "the pause takes hold";
  EXPECT_EQ(Editor(), "A");
  EXPECT_TRUE(services.IsThreadRunning(state.thread));

  ToggleTypingPause(services, state);
  EXPECT_EQ(Caption(), "暂停");
  ASSERT_TRUE(services.WaitForThread(state.thread));
  EXPECT_EQ(Appended(), (std::vector<Text>{"A", "B", "C"}));
}

TEST_F(TypingEffectTest, SecondStartDuringARunTypesTheWholeScriptOnce) {
  std::promise<void> typedTwo;
  std::promise<void> restarted;
  std::shared_future<void> restartedSignal = restarted.get_future().share();
  std::atomic<int> steps{0};
  services.onDelay = [&](int) {
    if (++steps != 2) return;
    typedTwo.set_value();
    restartedSignal.wait();  // the old run waits while the new one starts
  };
  services.Preset(Control::编辑框1, Property::Content, Text("ABCDE"));
  StartTyping(services, state);
  const int firstRun = state.thread;
  ASSERT_EQ(typedTwo.get_future().wait_for(5s), std::future_status::ready);
  services.onDelay = nullptr;
  StartTyping(services, state);
  restarted.set_value();
  ASSERT_TRUE(services.WaitForThread(state.thread));
  ASSERT_TRUE(services.WaitForThread(firstRun));
  EXPECT_EQ(Editor(), "ABCDE");
  EXPECT_EQ(state.job.text, "ABCDE");
}

TEST_F(TypingEffectTest, SecondStartWhilePausedStartsOverAndEndsThePausedRun) {
  FirstPause pause(services);
  services.Preset(Control::编辑框1, Property::Content, Text("甲乙丙"));
  StartTyping(services, state);
  const int pausedRun = state.thread;
  ASSERT_TRUE(pause.WaitUntilReached());
  ToggleTypingPause(services, state);
  pause.Release();
  StartTyping(services, state);
  ASSERT_TRUE(services.WaitForThread(state.thread));
  ASSERT_TRUE(services.WaitForThread(pausedRun)) << "the paused run must end, not hang";
  EXPECT_EQ(Editor(), "甲乙丙");
  EXPECT_EQ(Caption(), "打字控制") << "not the paused run's 继续";
}

}  // namespace
