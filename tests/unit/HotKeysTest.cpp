#include "aids/HotKeys.h"

#include <gtest/gtest.h>

#include "app/EventTable.h"
#include "app/StartupAndExit.h"
#include "support/FakeRuntimeServices.h"
#include "support/ProgramFolder.h"

namespace {

struct Counts {
  int reading = 0, pausing = 0, typing = 0;
};

HotKeyCommands Counting(Counts& counts) {
  return {[&] { ++counts.reading; }, [&] { ++counts.pausing; }, [&] { ++counts.typing; }};
}

TEST(HotKeys, RegisteredInOrderWithTheWindowAndTheHiddenLabel) {
  FakeRuntimeServices services;
  HotKeyNumbers numbers;
  RegisterHotKeys(services, numbers);
  const auto calls = services.CallsOf<RegisterHotKeyCall>();
  ASSERT_EQ(calls.size(), 3u);
  const int keys[] = {'A', 'Z', 'Q'};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(calls[i].keyCode, keys[i]);
    EXPECT_EQ(calls[i].modifiers, 1) << "Ctrl";
    EXPECT_EQ(calls[i].notifyControl, Control::标签1);
  }
  EXPECT_EQ(numbers.StartReadingHotKey, 33001);
  EXPECT_EQ(numbers.PauseReadingHotKey, 33002);
  EXPECT_EQ(numbers.TypingHotKey, 33003);
}

TEST(HotKeys, ARefusedKeyDoesNothingAndTheOthersKeepTheirNumbers) {
  FakeRuntimeServices services;
  services.refusedHotKeyCalls = {1};
  HotKeyNumbers numbers;
  RegisterHotKeys(services, numbers);
  EXPECT_EQ(numbers.StartReadingHotKey, 33001);
  EXPECT_EQ(numbers.PauseReadingHotKey, 0);
  EXPECT_EQ(numbers.TypingHotKey, 33003);

  Counts counts;
  for (int number : {33001, 33002, 33003, 0, 33004, 12345})
    DispatchHotKey(numbers, number, Counting(counts));
  EXPECT_EQ(counts.reading, 1);
  EXPECT_EQ(counts.pausing, 0) << "neither 33002 nor 0 may reach the refused key";
  EXPECT_EQ(counts.typing, 1);
}

TEST(HotKeys, TipsShowTheButtonsHotKeyAtTheCursorAndSayWhenItWasRefused) {
  FakeRuntimeServices services;
  services.mouseX = 640;
  services.mouseY = 21;
  HotKeyNumbers numbers;
  numbers.StartReadingHotKey = 0;  // refused
  numbers.PauseReadingHotKey = 33001;
  numbers.TypingHotKey = 33002;
  for (Control button : {Control::按钮7, Control::按钮10, Control::按钮11, Control::按钮12})
    ShowHotKeyTip(services, numbers, button);
  const auto tips = services.CallsOf<ShowBalloonCall>();
  ASSERT_EQ(tips.size(), 3u) << "按钮12 has no hot key";
  EXPECT_EQ(tips[0].text, "热键：CTRL+Q");
  EXPECT_EQ(tips[1].text, "热键：CTRL+A\r\n（热键已被其他程序占用）");
  EXPECT_EQ(tips[2].text, "热键：CTRL+Z");
  for (const auto& tip : tips) {
    EXPECT_EQ(tip.balloon, Control::气球提示框1);
    EXPECT_EQ(tip.icon, -1);
    EXPECT_EQ(tip.title, Text());
  }
}

TEST(HotKeys, StartUpRegistersThemAfterTheCaptureLibraryAndCtrlQTypes) {
  FakeRuntimeServices services;
  ProgramFolder folder(services);
  Program program(services);
  MainWindowCreated(program);
  const auto calls = services.Calls();
  const auto written = std::find_if(calls.begin(), calls.end(), [](const RecordedCall& c) {
    const auto* write = std::get_if<BundledLibraryCall>(&c);
    return write && write->fileName == "CameraDll.dll";
  });
  const auto registered = std::find_if(calls.begin(), calls.end(), [](const RecordedCall& c) {
    return std::holds_alternative<RegisterHotKeyCall>(c);
  });
  ASSERT_NE(written, calls.end());
  ASSERT_NE(registered, calls.end());
  EXPECT_LT(written - calls.begin(), registered - calls.begin());

  services.Preset(Control::编辑框1, Property::Content, Text("脚本"));
  Event press;
  press.kind = EventKind::Feedback;
  press.source = Control::标签1;
  press.first = program.hotKeys.TypingHotKey;
  DispatchEvent(program, press);
  ASSERT_NE(program.typing.thread, 0) << "Ctrl+Q starts the typing effect";
  ASSERT_TRUE(services.WaitForThread(program.typing.thread));
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Content).AsText(), "脚本");
}

}  // namespace
