#include "app/StartupAndExit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/EventTable.h"
#include "support/FakeRuntimeServices.h"
#include "support/ProgramFolder.h"

namespace {

class StartupAndExitTest : public ::testing::Test {
 protected:
  void SetUp() override { services.ClearCalls(); }  // construction wrote its libraries

  FakeRuntimeServices services;
  ProgramFolder folder{services};
  Program program{services};
};

TEST_F(StartupAndExitTest, CreatedHandlerSwitchesTheFlatStyleOnFirst) {
  MainWindowCreated(program);
  const auto calls = services.Calls();
  ASSERT_FALSE(calls.empty());
  const auto* first = std::get_if<ApplyFlatStyleCall>(&calls.front());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->style, 1);
}

TEST_F(StartupAndExitTest, ConstructionWritesTheBundledLibrariesInOrder) {
  FakeRuntimeServices fresh;
  Program constructed(fresh);
  std::vector<Text> written;
  for (const auto& call : fresh.CallsOf<BundledLibraryCall>()) written.push_back(call.fileName);
  EXPECT_EQ(written, (std::vector<Text>{"bass.dll", "speex.dll", "msc.dll"}));
  EXPECT_GT(fresh.Files()[fresh.programDirectory + "/msc.dll"].size(), 1000u);
}

// Font, colour and typing speed come back from the settings at start; values that are not
// understood leave the design's.
TEST_F(StartupAndExitTest, RememberedFontColourAndSpeedAreRestoredAndKept) {
  services.Preset(Control::编辑框3, Property::Content, Text("7"));
  services.Preset(Control::编辑框1, Property::Font, Text("宋体"), FontElement::FaceName);
  services.Preset(Control::编辑框1, Property::Font, 15, FontElement::Size);
  for (FontElement element :
       {FontElement::Bold, FontElement::Italic, FontElement::StrikeOut, FontElement::Underline})
    services.Preset(Control::编辑框1, Property::Font, false, element);
  services.Preset(Control::编辑框1, Property::TextColour, Rgb(0, 0, 0));
  const std::pair<const char*, const char*> settings[] = {
      {"editor/face", "楷体"}, {"editor/size", "16x"},       {"editor/bold", "true"},
      {"editor/italic", "1"},  {"editor/colour", "#FF8000"}, {"typing/speed", "3"}};
  for (const auto& [key, value] : settings) services.SetSetting(key, value);
  MainWindowCreated(program);
  const auto font = [&](FontElement element) {
    return services.Peek(Control::编辑框1, Property::Font, element);
  };
  EXPECT_EQ(font(FontElement::FaceName), Value("楷体"));
  EXPECT_EQ(font(FontElement::Size), Value(15)) << "\"16x\" is no size";
  EXPECT_EQ(font(FontElement::Bold), Value(true));
  EXPECT_EQ(font(FontElement::Italic), Value(false)) << "\"1\" is no switch";
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::TextColour), Value(Rgb(255, 128, 0)));
  EXPECT_EQ(services.Peek(Control::编辑框3, Property::Content), Value("3"));

  services.ScriptDialog(Control::通用对话框1, {true,
                                               {{Property::FaceName, Text("宋体")},
                                                {Property::Size, 20},
                                                {Property::Bold, false},
                                                {Property::Italic, true},
                                                {Property::StrikeOut, false},
                                                {Property::Underline, false},
                                                {Property::Colour, Rgb(0, 136, 255)}}});
  Event fontButton;
  fontButton.kind = EventKind::Clicked;
  fontButton.source = Control::按钮8;
  DispatchEvent(program, fontButton);
  services.Preset(Control::编辑框3, Property::Content, Text("10"));
  MainWindowDestroyed(program);
  const std::pair<const char*, const char*> kept[] = {
      {"editor/face", "宋体"},   {"editor/size", "20"},        {"editor/bold", "false"},
      {"editor/italic", "true"}, {"editor/colour", "#0088FF"}, {"typing/speed", "10"}};
  for (const auto& [key, value] : kept) EXPECT_EQ(services.GetSetting(key), value) << key;
}

TEST_F(StartupAndExitTest, ExitClosesTheMainWindow) {
  ExitProgram(program);
  const auto calls = services.CallsOf<CloseWindowCall>();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].window, Control::_启动窗口);
}

TEST_F(StartupAndExitTest, EventsReachTheirHandlersAndUnboundEventsAreIgnored) {
  Event click;
  click.kind = EventKind::Clicked;
  click.source = Control::按钮13;
  DispatchEvent(program, click);
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Top).AsInt(), 23);

  Event restore;
  restore.kind = EventKind::MenuItemClicked;
  restore.item = MenuItem::上移还原;
  DispatchEvent(program, restore);
  EXPECT_EQ(services.Peek(Control::编辑框1, Property::Top).AsInt(), 103);

  services.ClearCalls();
  Event editorChanged;
  editorChanged.kind = EventKind::ContentChanged;
  editorChanged.source = Control::编辑框1;  // the editor has no handler at all
  DispatchEvent(program, editorChanged);
  Event clickOnLabel;
  clickOnLabel.kind = EventKind::Clicked;
  clickOnLabel.source = Control::透明标签1;
  DispatchEvent(program, clickOnLabel);
  EXPECT_TRUE(services.Calls().empty());

  Event exit;
  exit.kind = EventKind::MenuItemClicked;
  exit.item = MenuItem::退出;
  DispatchEvent(program, exit);
  EXPECT_EQ(services.CallsOf<CloseWindowCall>().size(), 1u);
}

// Stopping the reading at exit waits with events: a Ctrl+A taken then would start a
// worker just before the engine is finalised. The keys are given back first.
TEST_F(StartupAndExitTest, AtExitAHotKeyPressedWhileTheReadingStopsStartsNothing) {
  MainWindowCreated(program);
  services.ClearCalls();  // the update check's worker; only a reading's may follow
  const int ctrlA = program.hotKeys.numbers[static_cast<int>(HotKeyAction::Read)];
  const std::thread::id uiThread = std::this_thread::get_id();
  // The reading's worker is held inside the engine until the press has come in.
  const auto recorder = [&](const char* name) {
    return services.LibraryFunctionAddress("msc.dll", name);
  };
  reinterpret_cast<void (*)(const char*)>(recorder("RecorderHoldAudioGet"))(nullptr);
  const auto held = reinterpret_cast<int (*)()>(recorder("RecorderHolding"));
  const auto release = reinterpret_cast<void (*)()>(recorder("RecorderRelease"));
  bool pressDelivered = false;
  services.onDelay = [&](int) {
    if (std::this_thread::get_id() != uiThread || pressDelivered) return;
    pressDelivered = true;
    Event press;
    press.kind = EventKind::Feedback;
    press.source = Control::标签1;
    press.first = ctrlA;
    DispatchEvent(program, press);
    release();
  };
  Event read;
  read.kind = EventKind::Clicked;
  read.source = Control::按钮10;
  DispatchEvent(program, read);
  const int worker = program.reading.worker;
  for (int i = 0; i < 500 && held() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(held(), 1);

  Event destroyed;
  destroyed.kind = EventKind::Destroyed;
  destroyed.source = Control::_启动窗口;
  DispatchEvent(program, destroyed);
  EXPECT_TRUE(pressDelivered) << "the exit waited for the worker";
  EXPECT_EQ(services.CallsOf<StartThreadCall>().size(), 1u) << "Ctrl+A started a reading";
  EXPECT_EQ(services.CallsOf<UnregisterHotKeyCall>().size(), 3u);
  EXPECT_TRUE(services.WaitForThread(worker));
}

TEST_F(StartupAndExitTest, BannerEditsRetitleTheWindow) {
  services.Preset(Control::编辑框2, Property::Content, Text("横幅"));
  Event changed;
  changed.kind = EventKind::ContentChanged;
  changed.source = Control::编辑框2;
  DispatchEvent(program, changed);
  EXPECT_EQ(services.Peek(Control::_启动窗口, Property::Title).AsText(), "横幅");
}

}  // namespace

// A termination signal keeps unsaved text in a new recovery file, in the script's own
// encoding, never over an earlier one, and closes the window without a question.
TEST_F(StartupAndExitTest, SignalKeepsUnsavedTextInANewRecoveryFileAndCloses) {
  const Text dir = services.stateDirectory;
  const Text taken = dir + "/recovered-20240607-080910.txt";
  services.Files()[taken] = ToBytes(Text("earlier"));
  services.Preset(Control::编辑框1, Property::Content, Text("脚本 one\r\n"));
  services.Modified() = true;
  program.document.encoding = TextEncoding::Utf8;

  EXPECT_EQ(EndOnSignal(program), std::optional<Text>(dir + "/recovered-20240607-080910-2.txt"));
  const ByteBuffer utf8 = ToBytes(Text("\xE8\x84\x9A\xE6\x9C\xAC one\r\n"));
  EXPECT_EQ(services.Files()[dir + "/recovered-20240607-080910-2.txt"], utf8);
  EXPECT_EQ(services.Files()[taken], ToBytes(Text("earlier")));
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());
  ASSERT_EQ(services.CallsOf<CloseWindowCall>().size(), 1u);
  EXPECT_TRUE(MainWindowCloseRequested(program)) << "the close asks nothing";

  // Without a usable state folder nor a fallback the failure is reported; the program
  // still ends.
  Program second(services);
  services.stateDirectory.clear();
  services.fallbackDirectory.clear();
  EXPECT_EQ(EndOnSignal(second), std::optional<Text>(Text()));
  EXPECT_EQ(services.CallsOf<CloseWindowCall>().size(), 2u);
}

TEST_F(StartupAndExitTest, SignalWithoutUnsavedTextWritesNothing) {
  services.Preset(Control::编辑框1, Property::Content, Text("saved"));
  services.Modified() = false;
  EXPECT_EQ(EndOnSignal(program), std::nullopt);
  EXPECT_TRUE(services.CallsOf<CreateFileCall>().empty());
  EXPECT_EQ(services.CallsOf<CloseWindowCall>().size(), 1u);
}
