#include "aids/HotKeys.h"

#include <gtest/gtest.h>

#include <fstream>

#include "aids/HotKeyText.h"
#include "app/EventTable.h"
#include "app/StartupAndExit.h"
#include "support/FakeRuntimeServices.h"
#include "support/ProgramFolder.h"

namespace {

constexpr int kCtrl = 1, kShift = 2, kAlt = 4, kSuper = 8;

std::vector<HotKeyAction> Dispatched(const HotKeyState& state, std::vector<int> numbers) {
  std::vector<HotKeyAction> actions;
  for (int number : numbers)
    DispatchHotKey(state, number, [&](HotKeyAction action) { actions.push_back(action); });
  return actions;
}

TEST(HotKeys, TextsNameKeysTheGrabsCanTakeAndNothingElse) {
  const std::pair<const char*, std::optional<std::pair<int, int>>> cases[] = {
      {"Ctrl+A", std::pair(kCtrl, 'A')},
      {"Ctrl+Alt+R", std::pair(kCtrl | kAlt, 'R')},
      {"Meta+Shift+7", std::pair(kSuper | kShift, '7')},
      {"F9", std::pair(0, 0x78)},
      {"Shift+F24", std::pair(kShift, 0x87)},
      {"Alt+PgDown", std::pair(kAlt, 0x22)},
      {"", std::nullopt},
      {"A", std::nullopt},        // a plain key is typing, not a hot key
      {"Shift+A", std::nullopt},  // so is a shifted one
      {"Ctrl+,", std::nullopt},   // a key the grabs do not know
      {"Ctrl++", std::nullopt},
      {"Ctrl+Ctrl+A", std::nullopt},  // broken settings text
      {"Hyper+A", std::nullopt},
      {"Ctrl+F25", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    const std::optional<KeyCombination> parsed = ParseHotKeyText(text);
    ASSERT_EQ(parsed.has_value(), expected.has_value()) << text;
    if (parsed) {
      EXPECT_EQ(std::pair(parsed->modifiers, parsed->virtualKey), *expected) << text;
    }
  }
  EXPECT_EQ(HotKeyDisplayText("Meta+Ctrl+F5"), "SUPER+CTRL+F5");
  EXPECT_EQ(HotKeyDisplayText("Ctrl+Alt+R"), "CTRL+ALT+R");
}

TEST(HotKeys, DefaultsWithoutSettingsAndStoredKeysWithThem) {
  FakeRuntimeServices services;
  HotKeyState state;
  LoadHotKeys(services, state);
  RegisterHotKeys(services, state);
  EXPECT_EQ(state.keys, (std::array<Text, 5>{"Ctrl+A", "Ctrl+Z", "Ctrl+Q", "", ""}));
  auto calls = services.CallsOf<RegisterHotKeyCall>();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(std::tuple(calls[0].modifiers, calls[0].keyCode, calls[0].notifyControl),
            std::tuple(kCtrl, int('A'), Control::标签1));
  EXPECT_EQ(calls[2].keyCode, 'Q');
  EXPECT_EQ(Dispatched(state, {33001, 33002, 33003, 0, 33004}),
            (std::vector{HotKeyAction::Read, HotKeyAction::Pause, HotKeyAction::Type}));

  // An empty value is a key taken away, not a missing one.
  FakeRuntimeServices configured;
  configured.settings = {
      {"hotkeys/read", "Ctrl+Alt+R"}, {"hotkeys/pause", ""}, {"hotkeys/capture", "Meta+F5"}};
  HotKeyState chosen;
  LoadHotKeys(configured, chosen);
  RegisterHotKeys(configured, chosen);
  EXPECT_EQ(chosen.keys, (std::array<Text, 5>{"Ctrl+Alt+R", "", "Ctrl+Q", "", "Meta+F5"}));
  calls = configured.CallsOf<RegisterHotKeyCall>();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(std::pair(calls[0].modifiers, calls[0].keyCode), std::pair(kCtrl | kAlt, int('R')));
  EXPECT_EQ(std::pair(calls[2].modifiers, calls[2].keyCode), std::pair(kSuper, 0x74));
  EXPECT_EQ(Dispatched(chosen, {33001, 33002, 33003}),
            (std::vector{HotKeyAction::Read, HotKeyAction::Type, HotKeyAction::Capture}));
}

TEST(HotKeys, AKeyNotInForceIsAnnouncedOnceAtItsButtonAndInItsTip) {
  FakeRuntimeServices services;
  services.heldHotKeys = {{kCtrl, 'Z'}};
  services.settings = {{"hotkeys/stop", "Ctrl+,"}};
  HotKeyState state;
  LoadHotKeys(services, state);
  RegisterHotKeys(services, state);
  EXPECT_EQ(state.numbers[1], 0);
  AnnounceRefusedHotKeys(services, state);
  const auto notices = services.CallsOf<BalloonAtControlCall>();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].control, Control::按钮11);
  EXPECT_EQ(notices[0].text,
            "热键 CTRL+Z（暂停朗读）已被其他程序占用\r\n热键 CTRL+,（结束朗读）不能用作热键");

  services.mouseX = 640;
  services.mouseY = 21;
  for (Control button : {Control::按钮7, Control::按钮11, Control::按钮12, Control::按钮5})
    ShowHotKeyTip(services, state, button);
  auto tips = services.CallsOf<ShowBalloonCall>();
  ASSERT_EQ(tips.size(), 3u) << "截图 shows no tip: it would be in the picture";
  EXPECT_EQ(tips[0].text, "热键：CTRL+Q");
  EXPECT_EQ(tips[1].text, "热键：CTRL+Z\r\n（热键已被其他程序占用）");
  EXPECT_EQ(tips[2].text, "热键：CTRL+,\r\n（热键不能用作热键）");
  EXPECT_EQ(std::tuple(tips[0].balloon, tips[0].x, tips[0].y, tips[0].icon),
            std::tuple(Control::气球提示框1, 640, 21, -1));

  // Nothing to announce when every key set is in force; 结束 without a key has no tip.
  FakeRuntimeServices quiet;
  HotKeyState defaults;
  LoadHotKeys(quiet, defaults);
  RegisterHotKeys(quiet, defaults);
  AnnounceRefusedHotKeys(quiet, defaults);
  ShowHotKeyTip(quiet, defaults, Control::按钮12);
  ShowHotKeyTip(quiet, defaults, Control::按钮10);
  EXPECT_TRUE(quiet.CallsOf<BalloonAtControlCall>().empty());
  tips = quiet.CallsOf<ShowBalloonCall>();
  ASSERT_EQ(tips.size(), 1u);
  EXPECT_EQ(tips[0].text, "热键：CTRL+A");
}

TEST(HotKeys, WhereTheDesktopBindsKeysTheNoticeNamesEachCommandUntilSilenced) {
  FakeRuntimeServices services;
  services.takesGlobalHotKeys = false;
  services.heldHotKeys = {{kCtrl, 'Z'}};
  services.settings = {{"hotkeys/read", "Ctrl+Alt+R"}};
  HotKeyState state;
  LoadHotKeys(services, state);
  RegisterHotKeys(services, state);
  AnnounceRefusedHotKeys(services, state);
  EXPECT_TRUE(services.CallsOf<RegisterHotKeyCall>().empty());
  EXPECT_TRUE(services.CallsOf<BalloonAtControlCall>().empty()) << "no key is taken by others";
  ASSERT_EQ(services.checkBoxMessages.size(), 1u);
  const Text& notice = services.checkBoxMessages[0];
  for (const char* line : {"朗读/继续（CTRL+ALT+R）：orvane-notepad --action read-aloud\r\n",
                           "暂停朗读（CTRL+Z）：orvane-notepad --action pause-reading\r\n",
                           "截图：orvane-notepad --action capture\r\n", "GNOME", "bindsym"})
    EXPECT_GT(services.FindText(notice, line), 0) << line;
  ShowHotKeyTip(services, state, Control::按钮11);
  ASSERT_EQ(services.CallsOf<ShowBalloonCall>().size(), 1u);
  EXPECT_EQ(services.CallsOf<ShowBalloonCall>()[0].text, "热键：CTRL+Z");
  // The dialog refuses no key for being held elsewhere: the desktop decides.
  Text answer = "unset";
  services.hotKeyDialog = [&](std::vector<HotKeyField>&, const HotKeyCheck& check) {
    answer = check(1, "Ctrl+Z");
    return false;
  };
  ChooseHotKeys(services, state);
  EXPECT_EQ(answer, "");

  // Said at every start until "不再提示" is ticked, then never again.
  AnnounceRefusedHotKeys(services, state);
  services.tickCheckBoxes = true;
  AnnounceRefusedHotKeys(services, state);
  AnnounceRefusedHotKeys(services, state);
  EXPECT_EQ(services.checkBoxMessages.size(), 3u);
  EXPECT_EQ(services.settings["wayland/hotKeyNoticeSilenced"], "1");
}

TEST(HotKeys, WhereTheDesktopAnswersLaterTheKeysWaitForItAndALateRefusalIsAnnounced) {
  FakeRuntimeServices services;
  services.hotKeysKnownLater = true;
  HotKeyState state;
  LoadHotKeys(services, state);
  StartHotKeys(services, state);
  EXPECT_TRUE(services.CallsOf<RegisterHotKeyCall>().empty());
  services.AnswerHotKeysKnown();
  EXPECT_EQ(services.hotKeyNames, (std::vector<Text>{"read-aloud", "pause-reading", "type"}));
  EXPECT_TRUE(services.CallsOf<BalloonAtControlCall>().empty());
  EXPECT_TRUE(services.checkBoxMessages.empty());

  const int typing = state.numbers[2];
  HotKeyRefusedLater(services, state, typing);
  EXPECT_EQ(Dispatched(state, {typing, state.numbers[0]}), std::vector{HotKeyAction::Read});
  const auto notices = services.CallsOf<BalloonAtControlCall>();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].control, Control::按钮7);
  EXPECT_EQ(notices[0].text, "热键 CTRL+Q（打字）已被其他程序占用");

  // A session with no shortcuts service: the notice of the desktop's keys, once answered.
  FakeRuntimeServices bare;
  bare.hotKeysKnownLater = true;
  bare.takesGlobalHotKeys = false;
  HotKeyState keys;
  LoadHotKeys(bare, keys);
  StartHotKeys(bare, keys);
  EXPECT_TRUE(bare.checkBoxMessages.empty());
  bare.AnswerHotKeysKnown();
  EXPECT_EQ(bare.checkBoxMessages.size(), 1u);
  EXPECT_TRUE(bare.CallsOf<RegisterHotKeyCall>().empty());
}

TEST(HotKeys, TheDialogGetsTheKeysFreeChecksEachAndOkStoresAndRegistersTheChoice) {
  FakeRuntimeServices services;
  services.heldHotKeys = {{kCtrl | kAlt, 'Z'}};
  HotKeyState state;
  LoadHotKeys(services, state);
  RegisterHotKeys(services, state);

  std::vector<Text> notes;
  size_t registeredWhileOpen = 0;
  services.hotKeyDialog = [&](std::vector<HotKeyField>& fields, const HotKeyCheck& check) {
    EXPECT_EQ(services.CallsOf<UnregisterHotKeyCall>().size(), 3u) << "the dialog takes keys";
    EXPECT_EQ(fields[3].label, "结束朗读");
    EXPECT_EQ(fields[0].keys, "Ctrl+A");
    registeredWhileOpen = services.CallsOf<RegisterHotKeyCall>().size();
    notes = {check(0, "Ctrl+Alt+R"), check(1, "Ctrl+Alt+Z"), check(3, "Ctrl+,")};
    fields[0].keys = "Ctrl+Alt+R";
    fields[2].keys = "";
    fields[3].keys = "F8";
    return true;
  };
  ChooseHotKeys(services, state);
  EXPECT_EQ(notes, (std::vector<Text>{"", "已被其他程序占用", "不能用作热键"}));
  const auto unregistered = services.CallsOf<UnregisterHotKeyCall>();
  const auto registered = services.CallsOf<RegisterHotKeyCall>();
  EXPECT_EQ(unregistered.size(), 4u) << "a free key is given back at once after its check";
  EXPECT_EQ(registered.size(), registeredWhileOpen + 2 + 3);
  EXPECT_EQ(services.settings,
            (std::map<Text, Text>{
                {"hotkeys/read", "Ctrl+Alt+R"}, {"hotkeys/type", ""}, {"hotkeys/stop", "F8"}}));
  EXPECT_EQ(registered.back().keyCode, 0x77);
  EXPECT_EQ(Dispatched(state, {state.numbers[0], state.numbers[3], 33003}),
            (std::vector{HotKeyAction::Read, HotKeyAction::Stop}))
      << "Ctrl+Q's old number is gone";

  // Cancel: the keys in force before come back, nothing is stored.
  services.settings.clear();
  services.hotKeyDialog = [](std::vector<HotKeyField>& fields, const HotKeyCheck&) {
    fields[0].keys = "Ctrl+B";
    return false;
  };
  ChooseHotKeys(services, state);
  EXPECT_TRUE(services.settings.empty());
  EXPECT_EQ(state.keys[0], "Ctrl+Alt+R");
  EXPECT_NE(state.numbers[0], 0);
}

TEST(HotKeys, ActionNamesGoBothWays) {
  for (int i = 0; i < kHotKeyActionCount; ++i) {
    const auto action = static_cast<HotKeyAction>(i);
    EXPECT_EQ(HotKeyActionNamed(HotKeyActionName(action)), action);
  }
  EXPECT_EQ(HotKeyActionNamed("read"), std::nullopt);
}

TEST(HotKeys, StartUpRegistersThemAfterTheCaptureLibraryAndTheTypingKeyTypes) {
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

  // The key, and the same action asked for from outside.
  for (bool fromOutside : {false, true}) {
    services.Preset(Control::编辑框1, Property::Content, Text("脚本"));
    Event press;
    press.kind = fromOutside ? EventKind::ActionRequested : EventKind::Feedback;
    press.source = fromOutside ? Control::_启动窗口 : Control::标签1;
    press.first = program.hotKeys.numbers[static_cast<int>(HotKeyAction::Type)];
    press.text = "type";
    program.typing.thread = 0;
    DispatchEvent(program, press);
    ASSERT_NE(program.typing.thread, 0) << "typing starts, from outside: " << fromOutside;
    ASSERT_TRUE(services.WaitForThread(program.typing.thread));
    EXPECT_EQ(services.Peek(Control::编辑框1, Property::Content).AsText(), "脚本");
  }
}

TEST(HotKeys, AFileFromASecondStartIsOpenedAfterTheQuestionAboutChangedText) {
  FakeRuntimeServices services;
  ProgramFolder folder(services);
  Program program(services);
  const Text path = services.programDirectory + "/稿.txt";  // OpenFile goes to the disk
  std::ofstream(path) << "新稿";
  services.Files()[path] = ToBytes(Text("新稿"));
  services.Preset(Control::编辑框1, Property::Content, Text("旧稿"));
  services.Modified() = true;
  Event request;
  request.kind = EventKind::OpenRequested;
  request.text = path;
  services.ScriptMessageBoxAnswer(kAnswerCancel);
  DispatchEvent(program, request);
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Content).AsText(), "旧稿");
  services.ScriptMessageBoxAnswer(kAnswerNo);
  DispatchEvent(program, request);
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Content).AsText(), "新稿");
  EXPECT_EQ(services.CallsOf<MessageBoxCall>().size(), 2u);
}

}  // namespace
