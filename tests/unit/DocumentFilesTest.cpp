#include "document/DocumentFiles.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string_view>
#include <utility>

#include "aids/TypingEffect.h"
#include "app/Branding.h"
#include "app/EventTable.h"
#include "app/LayoutHandlers.h"
#include "app/StartupAndExit.h"
#include "support/FakeRuntimeServices.h"

namespace {

namespace fs = std::filesystem;

const Text kSaveTitle = "请输入欲保存到的文本文件名:";
const Text kSaveAsTitle = "请输入欲另存到的文本文件名:";
const Text kOpenTitle = "请输入欲打开的文本文件名:";

ByteBuffer Bytes(std::string_view text) { return ByteBuffer(text.begin(), text.end()); }

// What the user saw of one opening of the file dialog.
struct DialogShown {
  Text title;
  int type = -1;
  friend bool operator==(const DialogShown&, const DialogShown&) = default;
};

void PrintTo(const DialogShown& shown, std::ostream* out) {
  *out << "{type " << shown.type << ", title bytes " << shown.title.size() << "}";
}

// Each test runs against the fake, with a folder of real files: OpenFile goes to the disk
// (so that sharing is real), the whole-file operations to the fake's files.
class DocumentFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "document-files-XXXXXX").string();
    ASSERT_NE(::mkdtemp(name.data()), nullptr);
    folder = name;
    services.Preset(Control::_启动窗口, Property::Title, InitialTitle());
    services.Preset(Control::编辑框2, Property::Content, BannerText());
    services.ClearCalls();  // constructing the program wrote its bundled libraries
  }
  void TearDown() override { fs::remove_all(folder); }

  Text PathOf(const char* name) const { return (folder / name).string(); }

  // A file that exists on the disk and in the fake's files alike.
  void PutFile(const Text& path, const ByteBuffer& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    services.Files()[path] = bytes;
  }
  ByteBuffer OnDisk(const Text& path) const {
    std::ifstream in(path, std::ios::binary);
    return ByteBuffer(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // The user types: the editor holds the text and its changed mark is set.
  void Edit(const Text& text) {
    services.Preset(Control::编辑框1, Property::Content, text);
    services.Modified() = true;
  }
  Text Editor() const { return services.Peek(Control::编辑框1, Property::Content).AsText(); }
  Text Title() const { return services.Peek(Control::_启动窗口, Property::Title).AsText(); }

  // current.txt holds "旧" and is the open document, changed to "改过的" since; next.txt,
  // holding "下一份", waits to be opened. Their paths, in that order.
  std::pair<Text, Text> ChangedFileAndNext() {
    const Text current = PathOf("current.txt");
    const Text next = PathOf("next.txt");
    PutFile(current, Bytes("旧"));
    PutFile(next, Bytes("下一份"));
    document.CurrentFileName = current;
    Edit("改过的");
    return {current, next};
  }

  void Choose(const Text& path) {
    services.ScriptDialog(Control::通用对话框, {true, {{Property::FileName, path}}});
  }
  void CancelDialog() { services.ScriptDialog(Control::通用对话框, {false, {}}); }

  // Every opening of the file dialog, with the title and type it had at that moment.
  std::vector<DialogShown> DialogsShown() const {
    std::vector<DialogShown> shown;
    DialogShown current;
    for (const RecordedCall& call : services.Calls()) {
      if (const auto* set = std::get_if<SetPropertyCall>(&call);
          set && set->control == Control::通用对话框) {
        if (set->property == Property::Title) current.title = set->value.AsText();
        if (set->property == Property::DialogType) current.type = set->value.AsInt();
      }
      if (const auto* opened = std::get_if<OpenDialogCall>(&call);
          opened && opened->dialog == Control::通用对话框)
        shown.push_back(current);
    }
    return shown;
  }

  void ExpectOnlyBox(const Text& text, int style, const Text& caption) const {
    const auto boxes = services.CallsOf<MessageBoxCall>();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].message.AsText(), text);
    EXPECT_EQ(boxes[0].style, style);
    EXPECT_EQ(boxes[0].caption, caption);
  }
  // A failure box: the designed headline, then the file and why (not checked here).
  void ExpectFailureBox(const Text& headline) const {
    const auto boxes = services.CallsOf<MessageBoxCall>();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(FirstLine(boxes[0].message.AsText()), headline);
    EXPECT_EQ(boxes[0].style, 0x10);
    EXPECT_EQ(boxes[0].caption, "错误");
  }
  static Text FirstLine(const Text& text) { return text.substr(0, text.find("\r\n")); }
  void ExpectSaveFailedBox() const { ExpectFailureBox("保存文件失败!"); }
  void ExpectOpenFailedBox() const { ExpectFailureBox("打开文件失败!"); }
  void ExpectQuestion(const Text& title) const {
    ExpectOnlyBox("文件 " + title + " 的文字已经改变。\r\n想保存文件吗?", 0x23, "_启动窗口");
  }
  std::size_t Writes() const {
    return services.CallsOf<ReplaceFileCall>().size() + services.CallsOf<WriteFileCall>().size() +
           services.CallsOf<CreateFileCall>().size();
  }

  fs::path folder;
  FakeRuntimeServices services;
  Program program{services};
  DocumentState& document = program.document;
};

// --- The document state table, from each of the four states --------------------------

struct StartState {
  bool named;
  bool changed;
};

void PrintTo(const StartState& state, std::ostream* out) {
  *out << (state.named ? "named" : "unnamed") << ", " << (state.changed ? "changed" : "unchanged");
}

class DocumentStateTest : public DocumentFilesTest,
                          public ::testing::WithParamInterface<StartState> {
 protected:
  void SetUp() override {
    DocumentFilesTest::SetUp();
    services.Preset(Control::编辑框1, Property::Content, Text("原稿\r\n"));
    if (GetParam().named) {
      current = PathOf("current.txt");
      PutFile(current, Bytes("原稿\r\n"));
      document.CurrentFileName = current;
    }
    services.Modified() = GetParam().changed;
    services.ClearCalls();
  }
  // Answers the changed-text question that an open asks first.
  void AnswerQuestionIfAsked(int answer) {
    if (GetParam().changed) services.ScriptMessageBoxAnswer(answer);
  }

  Text current;  // empty when the document has no name
};

TEST_P(DocumentStateTest, SaveThatSucceedsLeavesItNamedAndUnchanged) {
  const Text target = GetParam().named ? current : PathOf("new.txt");
  if (!GetParam().named) Choose(target);
  services.Preset(Control::编辑框1, Property::Content, Text("新稿\r\n第二行"));

  EXPECT_EQ(SaveDocument(services, document, Text(), false), SaveOutcome::Saved);

  EXPECT_EQ(services.Files()[target], Bytes("新稿\r\n第二行"));
  EXPECT_EQ(document.CurrentFileName, target);
  EXPECT_FALSE(services.Modified());
  EXPECT_EQ(DialogsShown().size(), GetParam().named ? 0u : 1u);
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());
}

TEST_P(DocumentStateTest, SaveThatFailsKeepsNameMarkAndOldFile) {
  const Text target = GetParam().named ? current : PathOf("new.txt");
  if (!GetParam().named) Choose(target);
  services.unwritablePaths.push_back(target);
  services.Preset(Control::编辑框1, Property::Content, Text("新稿"));

  EXPECT_EQ(SaveDocument(services, document, Text(), false), SaveOutcome::Failed);

  ExpectSaveFailedBox();
  EXPECT_EQ(document.CurrentFileName, current);
  EXPECT_EQ(services.Modified(), GetParam().changed) << "the mark is cleared only by a write";
  EXPECT_EQ(Editor(), "新稿");
  if (GetParam().named) {
    EXPECT_EQ(services.Files()[current], Bytes("原稿\r\n"));
    EXPECT_EQ(OnDisk(current), Bytes("原稿\r\n")) << "the old file is never emptied first";
  } else {
    EXPECT_EQ(services.Files().count(target), 0u);
    EXPECT_FALSE(fs::exists(target));
  }
}

TEST_P(DocumentStateTest, CancelledSaveDialogChangesNothing) {
  CancelDialog();
  SaveDocumentAs(services, document);
  if (!GetParam().named) {
    CancelDialog();
    EXPECT_EQ(SaveDocument(services, document, Text(), false), SaveOutcome::Cancelled);
  }

  EXPECT_EQ(DialogsShown().size(), GetParam().named ? 1u : 2u);
  EXPECT_EQ(Writes(), 0u);
  EXPECT_EQ(document.CurrentFileName, current);
  EXPECT_EQ(services.Modified(), GetParam().changed);
  EXPECT_EQ(Editor(), "原稿\r\n");
  EXPECT_EQ(Title(), InitialTitle());
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());
}

TEST_P(DocumentStateTest, OpenThatSucceedsNamesTheFileAndTitlesTheWindow) {
  const Text opened = PathOf("opened.txt");
  PutFile(opened, Bytes("打开的稿子\r\n"));
  AnswerQuestionIfAsked(kAnswerNo);
  Choose(opened);

  OpenDocument(services, document);

  EXPECT_EQ(Editor(), "打开的稿子\r\n");
  EXPECT_EQ(document.CurrentFileName, opened);
  EXPECT_FALSE(services.Modified());
  EXPECT_EQ(Title(), opened + "   " + BannerText());
  EXPECT_EQ(services.CallsOf<MessageBoxCall>().size(), GetParam().changed ? 1u : 0u);
  EXPECT_EQ(services.UnansweredMessageBoxes(), 0);
  EXPECT_EQ(Writes(), 0u) << "No opens without saving";
}

TEST_P(DocumentStateTest, OpenThatFailsChangesNothing) {
  AnswerQuestionIfAsked(kAnswerNo);
  Choose(PathOf("missing.txt"));

  OpenDocument(services, document);

  const auto boxes = services.CallsOf<MessageBoxCall>();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().message.AsText().substr(0, 15), "打开文件失败!\r\n");
  EXPECT_EQ(boxes.back().style, 0x10);
  EXPECT_EQ(boxes.back().caption, "错误");
  EXPECT_EQ(Editor(), "原稿\r\n");
  EXPECT_EQ(document.CurrentFileName, current);
  EXPECT_EQ(services.Modified(), GetParam().changed);
  EXPECT_EQ(Title(), InitialTitle());
}

INSTANTIATE_TEST_SUITE_P(FromEveryState, DocumentStateTest,
                         ::testing::Values(StartState{false, false}, StartState{false, true},
                                           StartState{true, false}, StartState{true, true}),
                         [](const ::testing::TestParamInfo<StartState>& info) {
                           return std::string(info.param.named ? "Named" : "Unnamed") +
                                  (info.param.changed ? "Changed" : "Unchanged");
                         });

TEST_F(DocumentFilesTest, AnEditAfterASaveBringsTheQuestionBack) {
  Choose(PathOf("a.txt"));
  Edit("一");
  SaveDocument(services, document, Text(), false);
  EXPECT_EQ(AskToSaveChanges(services, document), ChangesOutcome::Unchanged)
      << "saved: nothing to ask";
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());

  Edit("一二");
  EXPECT_TRUE(IsDocumentChanged(services));
  EXPECT_EQ(AskToSaveChanges(services, document),
            ChangesOutcome::Cancelled);                    // the unscripted box answers Cancel
  ExpectQuestion(PathOf("a.txt") + "   " + BannerText());  // the save named the file
  EXPECT_EQ(document.CurrentFileName, PathOf("a.txt"));
}

// --- Save and save-as ------------------------------------------------------------------

TEST_F(DocumentFilesTest, SaveWithoutANameAsksThroughTheSaveDialog) {
  Edit("稿");
  CancelDialog();
  EXPECT_EQ(SaveDocument(services, document, Text(), false), SaveOutcome::Cancelled) << "cancelled";
  EXPECT_EQ(DialogsShown(), (std::vector<DialogShown>{{kSaveTitle, 1}}));
  EXPECT_EQ(Writes(), 0u);
  EXPECT_TRUE(services.Modified());

  // A given but empty name asks as well; the chosen path is where the text goes.
  Choose(PathOf("chosen.txt"));
  EXPECT_EQ(SaveDocument(services, document, Text(), true), SaveOutcome::Saved);
  EXPECT_EQ(services.Files()[PathOf("chosen.txt")], Bytes("稿"));
  EXPECT_EQ(DialogsShown().size(), 2u);
}

TEST_F(DocumentFilesTest, SaveAsNamesTheNewFileInTheTitleAndSaveWritesThere) {
  const Text old = PathOf("old.txt");
  PutFile(old, Bytes("旧"));
  document.CurrentFileName = old;
  Edit("新的内容");
  const Text renamed = PathOf("renamed.txt");
  Choose(renamed);

  SaveDocumentAs(services, document);
  EXPECT_EQ(DialogsShown(), (std::vector<DialogShown>{{kSaveAsTitle, 1}}));
  EXPECT_EQ(services.Files()[renamed], Bytes("新的内容"));
  EXPECT_EQ(document.CurrentFileName, renamed);
  EXPECT_FALSE(services.Modified());
  const Text titled = renamed + "   " + BannerText();
  EXPECT_EQ(Title(), titled);

  Edit("新的内容，再改");
  services.Preset(Control::_启动窗口, Property::Title, Text("改过的标题"));
  EXPECT_EQ(SaveDocument(services, document, Text(), false), SaveOutcome::Saved);
  EXPECT_EQ(DialogsShown().size(), 1u) << "the current file needs no dialog";
  EXPECT_EQ(services.Files()[renamed], Bytes("新的内容，再改"));
  EXPECT_EQ(services.Files()[old], Bytes("旧"));
  EXPECT_EQ(Title(), "改过的标题") << "saving to the same file leaves the title";
}

// Edits that lead back to the text as opened or saved (a typing run that ended, an
// undo) leave nothing to save.
TEST_F(DocumentFilesTest, TextEqualToWhatWasOpenedOrSavedAsksNothing) {
  const Text path = PathOf("s.txt");
  PutFile(path, Bytes("稿子"));
  OpenDocumentFile(services, document, path);
  Edit("稿子");
  EXPECT_EQ(AskToSaveChanges(services, document), ChangesOutcome::Unchanged);
  Edit("稿子，改");
  Choose(PathOf("t.txt"));
  SaveDocumentAs(services, document);
  Edit("稿子，改");
  EXPECT_EQ(AskToSaveChanges(services, document), ChangesOutcome::Unchanged);
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());
  Edit("稿子");
  EXPECT_EQ(AskToSaveChanges(services, document), ChangesOutcome::Cancelled) << "asked";
}

TEST_F(DocumentFilesTest, EmptyEditorSavesAnEmptyFile) {
  const Text path = PathOf("empty.txt");
  PutFile(path, Bytes("之前的内容"));
  document.CurrentFileName = path;
  Edit("");
  SaveDocument(services, document, Text(), false);
  EXPECT_EQ(services.Files()[path], ByteBuffer());
}

// --- Opening asks only about changed text ------------------------------------------------

TEST_F(DocumentFilesTest, OpenWithUnchangedTextAsksNothing) {
  const Text path = PathOf("s.txt");
  PutFile(path, Bytes("稿"));
  Choose(path);
  OpenDocument(services, document);
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());
  EXPECT_EQ(DialogsShown(), (std::vector<DialogShown>{{kOpenTitle, 0}}));
  EXPECT_EQ(Editor(), "稿");
}

TEST_F(DocumentFilesTest, OpenWithChangedTextCancelledLeavesEverything) {
  Edit("未保存");
  const Text path = PathOf("s.txt");
  PutFile(path, Bytes("稿"));
  Choose(path);
  services.ScriptMessageBoxAnswer(kAnswerCancel);

  OpenDocument(services, document);

  ExpectQuestion(InitialTitle());
  EXPECT_TRUE(DialogsShown().empty());
  EXPECT_EQ(Editor(), "未保存");
  EXPECT_TRUE(services.Modified());
  EXPECT_TRUE(document.CurrentFileName.empty());
  EXPECT_EQ(Title(), InitialTitle());
  EXPECT_EQ(Writes(), 0u);
}

TEST_F(DocumentFilesTest, OpenWithChangedTextYesSavesTheCurrentFileFirst) {
  const auto [current, next] = ChangedFileAndNext();
  services.ScriptMessageBoxAnswer(kAnswerYes);
  Choose(next);

  OpenDocument(services, document);

  ExpectQuestion(InitialTitle());
  EXPECT_EQ(services.Files()[current], Bytes("改过的"));
  EXPECT_EQ(DialogsShown(), (std::vector<DialogShown>{{kOpenTitle, 0}}));
  EXPECT_EQ(Editor(), "下一份");
  EXPECT_EQ(document.CurrentFileName, next);
  EXPECT_FALSE(services.Modified());
}

TEST_F(DocumentFilesTest, OpenWithChangedTextYesAndNoFileSavesThroughTheDialog) {
  const Text saved = PathOf("saved.txt");
  const Text next = PathOf("next.txt");
  PutFile(next, Bytes("下一份"));
  Edit("新写的");
  services.ScriptMessageBoxAnswer(kAnswerYes);
  Choose(saved);
  Choose(next);

  OpenDocument(services, document);

  EXPECT_EQ(DialogsShown(), (std::vector<DialogShown>{{kSaveTitle, 1}, {kOpenTitle, 0}}));
  EXPECT_EQ(services.Files()[saved], Bytes("新写的"));
  EXPECT_EQ(Editor(), "下一份");
  EXPECT_EQ(document.CurrentFileName, next);
  EXPECT_EQ(Title(), next + "   " + BannerText());
}

TEST_F(DocumentFilesTest, OpenWithChangedTextYesAndTheSaveDialogCancelledStops) {
  Edit("新写的");
  services.ScriptMessageBoxAnswer(kAnswerYes);
  CancelDialog();
  Choose(PathOf("never.txt"));

  OpenDocument(services, document);

  EXPECT_EQ(DialogsShown(), (std::vector<DialogShown>{{kSaveTitle, 1}}));
  EXPECT_EQ(Editor(), "新写的");
  EXPECT_TRUE(services.Modified());
  EXPECT_EQ(Writes(), 0u);
}

TEST_F(DocumentFilesTest, SaveThatFailsInsideTheQuestionStopsOpenExitAndClose) {
  const auto [current, next] = ChangedFileAndNext();
  services.unwritablePaths.push_back(current);
  // Each time: "是" to the question, then OK to the error box.
  for (int i = 0; i < 3; ++i) {
    services.ScriptMessageBoxAnswer(kAnswerYes);
    services.ScriptMessageBoxAnswer(kAnswerOk);
  }
  Choose(next);

  OpenDocument(services, document);
  ExitProgram(program);
  Event close;
  close.kind = EventKind::CloseRequested;
  close.source = Control::_启动窗口;
  DispatchEvent(program, close);

  const auto boxes = services.CallsOf<MessageBoxCall>();
  ASSERT_EQ(boxes.size(), 6u);
  for (int i = 1; i < 6; i += 2)
    EXPECT_EQ(boxes[i].message.AsText(), "保存文件失败!\r\n" + current + "\r\n没有权限。");
  EXPECT_EQ(OnDisk(current), Bytes("旧"));
  EXPECT_EQ(Editor(), "改过的") << "the open did not replace the unsaved text";
  EXPECT_EQ(document.CurrentFileName, current);
  EXPECT_TRUE(services.Modified());
  EXPECT_TRUE(services.CallsOf<CloseWindowCall>().empty()) << "the exit did not close";
  EXPECT_TRUE(close.refused) << "the window's close was refused";
}

// --- The mended faults ------------------------------------------------------------------

TEST_F(DocumentFilesTest, FailedSaveKeepsTheMarkSoTheExitStillAsks) {
  const Text path = PathOf("s.txt");
  PutFile(path, Bytes("旧"));
  document.CurrentFileName = path;
  services.unwritablePaths.push_back(path);
  Edit("没存上的字");
  SaveDocument(services, document, Text(), false);
  ExpectSaveFailedBox();

  services.ClearCalls();
  services.ScriptMessageBoxAnswer(kAnswerCancel);
  ExitProgram(program);
  ExpectQuestion(InitialTitle());
  EXPECT_TRUE(services.CallsOf<CloseWindowCall>().empty());
}

TEST_F(DocumentFilesTest, FailedOpenOfALockedOrZeroByteFileChangesNothing) {
  const Text current = PathOf("current.txt");
  PutFile(current, Bytes("当前"));
  Edit("当前，改过");
  // The current document came from a UTF-16 file: its encoding must stay as well.
  document.CurrentFileName = current;
  document.encoding = TextEncoding::Utf16LeBom;
  const Text locked = PathOf("locked.txt");
  const Text zero = PathOf("zero.txt");
  PutFile(locked, Bytes("锁住的"));
  PutFile(zero, Bytes(std::string_view("前\0后", 5)));

  const int holder = services.OpenFile(locked, 1, 4);  // another open allows nobody else
  ASSERT_NE(holder, 0);
  for (const Text& path : {locked, zero}) {
    SCOPED_TRACE(path);
    services.ClearCalls();
    EXPECT_FALSE(LoadDocument(services, document, path));
    ExpectOpenFailedBox();
    EXPECT_EQ(Editor(), "当前，改过");
    EXPECT_TRUE(services.Modified());
    EXPECT_EQ(document.CurrentFileName, current);
    EXPECT_EQ(document.encoding, TextEncoding::Utf16LeBom);
    EXPECT_EQ(Title(), InitialTitle());
  }
  services.CloseFile(holder);
  EXPECT_TRUE(LoadDocument(services, document, locked)) << "free again once the other closed";
  EXPECT_EQ(Editor(), "锁住的");
}

TEST_F(DocumentFilesTest, EndOfFileMarkIsKeptThroughOpenAndSave) {
  const Text path = PathOf("eof.txt");
  const ByteBuffer bytes = Bytes("前\x1A后\r\n\x1A");
  PutFile(path, bytes);
  ASSERT_TRUE(LoadDocument(services, document, path));
  EXPECT_EQ(Editor(), "前\x1A后\r\n\x1A");
  services.Files().erase(path);
  SaveDocument(services, document, Text(), false);
  EXPECT_EQ(services.Files()[path], bytes);
}

TEST_F(DocumentFilesTest, UnicodeFilesOpenAsTextAndSaveBackInTheirEncoding) {
  struct Row {
    const char* name;
    ByteBuffer file;
    ByteBuffer afterEdit;  // the file once "新" is added to the text
  };
  const auto utf8 = [](std::u8string_view text, bool mark) {
    ByteBuffer bytes = mark ? ByteBuffer{0xEF, 0xBB, 0xBF} : ByteBuffer{};
    for (char8_t c : text) bytes.push_back(static_cast<std::uint8_t>(c));
    return bytes;
  };
  const auto utf16 = [](std::u16string_view text, bool bigEndian) {
    ByteBuffer bytes = bigEndian ? ByteBuffer{0xFE, 0xFF} : ByteBuffer{0xFF, 0xFE};
    for (char16_t unit : text) {
      const std::uint8_t high = unit >> 8, low = unit & 0xFF;
      bytes.push_back(bigEndian ? high : low);
      bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
  };
  const Row rows[] = {
      {"UTF-8", utf8(u8"讲稿\r\n😀", false), utf8(u8"讲稿\r\n😀新", false)},
      {"UTF-8 with mark", utf8(u8"讲稿\r\n😀", true), utf8(u8"讲稿\r\n😀新", true)},
      {"UTF-16 LE", utf16(u"讲稿\r\n😀", false), utf16(u"讲稿\r\n😀新", false)},
      {"UTF-16 BE", utf16(u"讲稿\r\n😀", true), utf16(u"讲稿\r\n😀新", true)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Text path = PathOf("unicode.txt");
    PutFile(path, row.file);
    Choose(path);
    OpenDocument(services, document);
    EXPECT_EQ(Editor(), "讲稿\r\n😀");
    SaveDocument(services, document, Text(), false);
    EXPECT_EQ(services.Files()[path], row.file) << "unchanged text, unchanged bytes";
    Edit("讲稿\r\n😀新");
    SaveDocument(services, document, Text(), false);
    EXPECT_EQ(services.Files()[path], row.afterEdit);
    // Save-as keeps the document's encoding as well.
    Choose(PathOf("copy.txt"));
    SaveDocumentAs(services, document);
    EXPECT_EQ(services.Files()[PathOf("copy.txt")], row.afterEdit);
  }

  // A GBK file opened next is saved as GBK again, with no mark.
  const Text gbk = PathOf("gbk.txt");
  PutFile(gbk, Bytes("国标"));
  ASSERT_TRUE(LoadDocument(services, document, gbk));
  Edit("国标码");
  SaveDocument(services, document, Text(), false);
  EXPECT_EQ(services.Files()[gbk], Bytes("国标码"));
}

TEST_F(DocumentFilesTest, NewDocumentIsSavedAsGbk) {
  Edit("新建的稿子😀");
  Choose(PathOf("new.txt"));
  SaveDocument(services, document, Text(), false);
  EXPECT_EQ(services.Files()[PathOf("new.txt")], Bytes("新建的稿子😀"));
}

// The save dialogs' type list writes GBK or UTF-8, preset to the script's own; an opened
// script keeps its line breaks, also for the lines typed since.
TEST_F(DocumentFilesTest, SaveDialogsChooseTheEncodingAndOpenedScriptsKeepTheirLineBreaks) {
  const auto saveChoosing = [&](const char* name, int type, bool saveAs) {
    services.ScriptDialog(
        Control::通用对话框,
        {true, {{Property::FileName, PathOf(name)}, {Property::InitialFilter, type}}});
    if (saveAs) return SaveDocumentAs(services, document);
    EXPECT_EQ(SaveDocument(services, document, Text(), false), SaveOutcome::Saved);
  };
  Edit("新稿\r\n二");
  saveChoosing("u.txt", 1, false);
  EXPECT_EQ(services.Peek(Control::通用对话框, Property::Filter).AsText(),
            "文本文件 GBK (*.txt)|*.txt|文本文件 UTF-8 (*.txt)|*.txt|");
  const char8_t utf8[] = u8"新稿\r\n二";
  EXPECT_EQ(services.Files()[PathOf("u.txt")], ByteBuffer(utf8, utf8 + sizeof utf8 - 1));
  saveChoosing("g.txt", 0, true);
  EXPECT_EQ(services.Files()[PathOf("g.txt")], Bytes("新稿\r\n二"));
  std::vector<int> presets;
  for (const auto& call : services.CallsOf<SetPropertyCall>())
    if (call.property == Property::InitialFilter) presets.push_back(call.value.AsInt());
  EXPECT_EQ(presets, (std::vector<int>{0, 1})) << "GBK for the new script, then its UTF-8";

  const Text unix = PathOf("lf.txt");
  PutFile(unix, Bytes("一\n二"));
  ASSERT_TRUE(LoadDocument(services, document, unix));
  Edit("一\n二\r\n三");  // a line typed with Enter
  SaveDocument(services, document, Text(), false);
  EXPECT_EQ(services.Files()[unix], Bytes("一\n二\n三"));
}

// --- A typing run and the document -------------------------------------------------------

// Holds a typing run's worker in its first pause (after the first character) until
// released, as a paused or slow run would be.
class HeldTypingRun {
 public:
  explicit HeldTypingRun(FakeRuntimeServices& services) : services_(services) {
    services.onDelay = [this](int) {
      if (++delays_ != 1) return;
      reached_.set_value();
      released_.wait();
    };
  }
  ~HeldTypingRun() {
    Release();
    services_.onDelay = nullptr;
  }
  bool WaitUntilReached() {
    return reached_.get_future().wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  }
  void Release() {
    if (!released) release_.set_value();
    released = true;
  }

 private:
  FakeRuntimeServices& services_;
  std::atomic<int> delays_{0};
  bool released = false;
  std::promise<void> reached_;
  std::promise<void> release_;
  std::shared_future<void> released_ = release_.get_future().share();
};

TEST_F(DocumentFilesTest, DuringATypingRunSavesWriteTheWholeScriptAndOpenAndClearEndTheRun) {
  const Text script = "整篇讲稿\r\n第二行";
  const Text path = PathOf("script.txt");
  PutFile(path, Bytes(script));
  document.CurrentFileName = path;
  Edit(script);
  HeldTypingRun held(services);
  StartTyping(services, program.typing);
  ASSERT_TRUE(held.WaitUntilReached());
  ToggleTypingPause(services, program.typing);
  ASSERT_EQ(Editor(), "整") << "the run has typed one character";

  // 保存, 另存 and the exit question's 是 write the whole script.
  EXPECT_EQ(SaveDocument(services, document, Text(), false), SaveOutcome::Saved);
  EXPECT_EQ(services.Files()[path], Bytes(script));
  Choose(PathOf("copy.txt"));
  SaveDocumentAs(services, document);
  EXPECT_EQ(services.Files()[PathOf("copy.txt")], Bytes(script));
  // The whole script is as saved: the exit has nothing to ask.
  services.Modified() = true;
  ExitProgram(program);
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());

  // A successful open ends the run: nothing more is typed into the other file.
  const Text other = PathOf("other.txt");
  PutFile(other, Bytes("另一份"));
  Choose(other);
  OpenDocument(services, document);
  const int run = program.typing.thread;
  held.Release();
  ToggleTypingPause(services, program.typing);
  ASSERT_TRUE(services.WaitForThread(run));
  EXPECT_EQ(Editor(), "另一份");
  EXPECT_EQ(SaveDocument(services, document, Text(), false), SaveOutcome::Saved);
  EXPECT_EQ(services.Files()[other], Bytes("另一份"));
}

TEST_F(DocumentFilesTest, ClearEndsATypingRunAndIsAnEditThatLeavesTheScriptUnsaved) {
  Edit("要打的字");
  HeldTypingRun held(services);
  StartTyping(services, program.typing);
  ASSERT_TRUE(held.WaitUntilReached());
  ClearEditor(program);
  const int run = program.typing.thread;
  held.Release();
  ASSERT_TRUE(services.WaitForThread(run));
  EXPECT_EQ(Editor(), "") << "nothing typed after the clear";
  EXPECT_TRUE(services.Modified()) << "clearing is an edit";
  Choose(PathOf("cleared.txt"));
  EXPECT_EQ(SaveDocument(services, document, Text(), false), SaveOutcome::Saved);
  EXPECT_EQ(services.Files()[PathOf("cleared.txt")], Bytes(""));
}

// --- Closing the window -----------------------------------------------------------------

class CloseRequestTest : public DocumentFilesTest {
 protected:
  // The request as the window raises it; true when the window may close.
  bool RequestClose() {
    Event request;
    request.kind = EventKind::CloseRequested;
    request.source = Control::_启动窗口;
    DispatchEvent(program, request);
    return !request.refused;
  }
};

TEST_F(CloseRequestTest, UnchangedTextClosesWithoutAQuestion) {
  EXPECT_TRUE(RequestClose());
  EXPECT_TRUE(services.CallsOf<MessageBoxCall>().empty());
}

TEST_F(CloseRequestTest, ChangedTextAsksAndCancelKeepsTheWindow) {
  Edit("未保存的字");
  services.ScriptMessageBoxAnswer(kAnswerCancel);
  EXPECT_FALSE(RequestClose());
  ExpectQuestion(InitialTitle());
  EXPECT_EQ(Writes(), 0u);
  EXPECT_TRUE(services.Modified());

  // Asked again at the next request: No lets the window close without saving.
  services.ScriptMessageBoxAnswer(kAnswerNo);
  EXPECT_TRUE(RequestClose());
  EXPECT_EQ(services.CallsOf<MessageBoxCall>().size(), 2u);
  EXPECT_EQ(Writes(), 0u);
}

TEST_F(CloseRequestTest, YesSavesBeforeClosingAndACancelledSaveDialogKeepsTheWindow) {
  Edit("要保存的字");
  services.ScriptMessageBoxAnswer(kAnswerYes);
  CancelDialog();
  EXPECT_FALSE(RequestClose());
  EXPECT_EQ(Writes(), 0u);

  services.ScriptMessageBoxAnswer(kAnswerYes);
  Choose(PathOf("closing.txt"));
  EXPECT_TRUE(RequestClose());
  EXPECT_EQ(services.Files()[PathOf("closing.txt")], Bytes("要保存的字"));
}

TEST_F(CloseRequestTest, ExitAsksOnceAndItsCloseIsNotAskedAgain) {
  Edit("未保存的字");
  services.ScriptMessageBoxAnswer(kAnswerCancel);
  ExitProgram(program);
  EXPECT_TRUE(services.CallsOf<CloseWindowCall>().empty()) << "Cancel keeps the program running";

  services.ScriptMessageBoxAnswer(kAnswerNo);
  ExitProgram(program);
  ASSERT_EQ(services.CallsOf<CloseWindowCall>().size(), 1u);
  EXPECT_EQ(services.CallsOf<MessageBoxCall>().size(), 2u);
  // The close that "退出" asked for follows without a second question.
  EXPECT_TRUE(MainWindowCloseRequested(program));
  EXPECT_EQ(services.CallsOf<MessageBoxCall>().size(), 2u);
}

}  // namespace
