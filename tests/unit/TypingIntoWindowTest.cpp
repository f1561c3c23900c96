#include "aids/TypingIntoWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/FakeRuntimeServices.h"

namespace {

constexpr int kTarget = 7, kOther = 8;

class TypingIntoWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services.Preset(Control::编辑框3, Property::Content, Text("1"));
    services.Preset(Control::编辑框1, Property::Content, Text("你好，ab\r\nc\t"));
  }

  std::vector<Text> Sent() {
    std::vector<Text> sent;
    for (const auto& call : services.CallsOf<SendCharacterCall>()) sent.push_back(call.character);
    return sent;
  }

  bool WaitForCaption(const Text& caption) {
    for (int i = 0; i < 500; ++i) {
      if (services.Peek(Control::按钮1, Property::Caption).AsText() == caption) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  FakeRuntimeServices services;
  WindowTypingState state;
  TypingState editor;
};

TEST_F(TypingIntoWindowTest, ModeIsRememberedAndOffMeansTheEditorTypingAsBefore) {
  services.focusedWindow = kTarget;
  TypingHotKeyPressed(services, state, editor);
  ASSERT_TRUE(services.WaitForThread(editor.thread));
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(services.CallsOf<AppendTextCall>().size(), 8u);  // the editor typing of old

  ToggleTypingMode(services, state);
  EXPECT_EQ(services.settings["typing/intoFocusedWindow"], "true");
  WindowTypingState restarted;
  LoadTypingMode(services, restarted);
  EXPECT_TRUE(restarted.intoFocusedWindow);
  const auto checks = services.CallsOf<SetMenuItemCheckedCall>();
  ASSERT_FALSE(checks.empty());
  EXPECT_EQ(checks.back().item, MenuItem::打字到当前窗口);
  EXPECT_TRUE(checks.back().checked);
}

// A focus change midway pauses the run: nothing reaches the other window, Ctrl+Q there
// does not continue, Ctrl+Q back in the first window continues where it stopped. Esc is
// grabbed only while characters are being typed.
TEST_F(TypingIntoWindowTest, FocusMovedAwayPausesUntilCtrlQInTheSameWindow) {
  state.intoFocusedWindow = true;
  services.focusedWindow = kTarget;
  std::atomic<bool> armed = false;
  services.onProcessEvents = [this, &armed] {
    if (armed && services.CallsOf<SendCharacterCall>().size() >= 3) services.focusedWindow = kOther;
  };
  services.onDelay = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  TypingHotKeyPressed(services, state, editor);
  const int run = state.thread;
  ASSERT_NE(run, 0);
  armed = true;
  ASSERT_TRUE(WaitForCaption("继续"));
  const std::size_t beforePause = Sent().size();
  EXPECT_LT(beforePause, 8u);

  TypingHotKeyPressed(services, state, editor);  // in the other window: stays paused
  EXPECT_EQ(state.thread, run);
  EXPECT_EQ(Sent().size(), beforePause);
  EXPECT_TRUE(services.IsThreadRunning(run));
  services.onProcessEvents = nullptr;
  services.focusedWindow = kTarget;
  TypingHotKeyPressed(services, state, editor);
  ASSERT_TRUE(services.WaitForThread(run));

  EXPECT_EQ(Sent(), (std::vector<Text>{"你", "好", "，", "a", "b", "\r\n", "c", "\t"}));
  EXPECT_EQ(editor.thread, 0);  // the editor was not typed into
  std::vector<std::string> escape;
  for (const RecordedCall& call : services.Calls()) {
    const auto* registered = std::get_if<RegisterHotKeyCall>(&call);
    if (registered && registered->keyCode == 0x1B && registered->modifiers == 0)
      escape.push_back("grab");
    if (std::holds_alternative<UnregisterHotKeyCall>(call)) escape.push_back("release");
  }
  EXPECT_EQ(escape, (std::vector<std::string>{"grab", "release", "grab", "release"}));
  // While paused and at the end the keyboard map is the user's own.
  EXPECT_EQ(services.CallsOf<RestoreKeyboardMapCall>().size(), 2u);
  EXPECT_TRUE(std::holds_alternative<RestoreKeyboardMapCall>(services.Calls().back()));
}

// A window that closes while its run is paused ends the run at once, map restored.
TEST_F(TypingIntoWindowTest, WindowClosedWhilePausedEndsTheRunAtOnce) {
  state.intoFocusedWindow = true;
  services.focusedWindow = kTarget;
  services.onDelay = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  services.onProcessEvents = [this] {
    if (services.CallsOf<SendCharacterCall>().size() >= 2) services.focusedWindow = kOther;
  };
  TypingHotKeyPressed(services, state, editor);
  const int run = state.thread;
  ASSERT_TRUE(WaitForCaption("继续"));
  services.closedWindow = kTarget;
  ASSERT_TRUE(services.WaitForThread(run));
  EXPECT_EQ(state.thread, 0);
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_TRUE(std::holds_alternative<RestoreKeyboardMapCall>(services.Calls().back()));
}

// Where the desktop keys only its layout's characters, the user hears how many it cannot key
// before anything is typed: cancelled, nothing runs; otherwise each stretch of them is pasted
// in its place (here with the terminal's Ctrl+Shift+V) and the rest is keyed, in order. Where
// nothing can be pasted into other windows either, the user may have the rest typed alone.
TEST_F(TypingIntoWindowTest, UnkeyableCharactersArePastedInTheirPlaceLeftOutOrTheRunIsCancelled) {
  state.intoFocusedWindow = true;
  services.focusedWindow = kTarget;
  services.keysOnlyAscii = true;
  services.Preset(Control::编辑框1, Property::Content, Text("ab你好，c\r\n好"));
  services.ScriptMessageBoxAnswer(kAnswerCancel);
  TypingHotKeyPressed(services, state, editor);
  EXPECT_EQ(state.thread, 0);
  EXPECT_EQ(editor.thread, 0);
  const auto asked = services.CallsOf<MessageBoxCall>();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_NE(asked[0].message.AsText().find("有 4 个字符"), Text::npos);

  const auto arrived = [this] {
    std::vector<Text> texts;
    for (const RecordedCall& call : services.Calls()) {
      if (const auto* key = std::get_if<SendCharacterCall>(&call)) texts.push_back(key->character);
      if (const auto* paste = std::get_if<PasteIntoWindowCall>(&call))
        texts.push_back((paste->terminal ? "[" : "(") + paste->text + "]");
    }
    return texts;
  };
  services.ScriptMessageBoxAnswer(kAnswerNo);
  TypingHotKeyPressed(services, state, editor);
  ASSERT_NE(state.thread, 0);
  ASSERT_TRUE(services.WaitForThread(state.thread));
  EXPECT_EQ(arrived(), (std::vector<Text>{"a", "b", "[你好，]", "c", "\r\n", "[好]"}));

  services.pasteReachesWindows = false;
  services.ClearCalls();
  services.ScriptMessageBoxAnswer(kAnswerOk);
  TypingHotKeyPressed(services, state, editor);
  ASSERT_NE(state.thread, 0);
  ASSERT_TRUE(services.WaitForThread(state.thread));
  ASSERT_EQ(services.CallsOf<MessageBoxCall>().size(), 1u);
  EXPECT_NE(services.CallsOf<MessageBoxCall>()[0].message.AsText().find("有 4 个字符"), Text::npos);
  EXPECT_EQ(arrived(), (std::vector<Text>{"a", "b", "c", "\r\n"}));
}

}  // namespace
