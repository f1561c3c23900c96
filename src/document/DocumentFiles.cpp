#include "document/DocumentFiles.h"

#include <memory>
#include <optional>
#include <utility>

#include "document/BackgroundWork.h"
#include "document/FailureMessages.h"
#include "document/ScriptEncoding.h"

namespace {

constexpr Control kEditor = Control::编辑框1;
constexpr Control kFileDialog = Control::通用对话框;

// The designed first line, then which file and why.
void ShowError(Dialogs& dialogs, const char* headline, const Text& path, const Text& reason) {
  dialogs.ShowMessageBox(FailureMessage(headline, path, reason), kMbIconStop | kMbOk, Text("错误"));
}

// Opens the file dialog with its title and type; the chosen path, or nothing.
std::optional<Text> AskForFile(Uses<WindowControls, Dialogs> services, const char* title,
                               int type) {
  auto& controls = services.Get<WindowControls>();
  controls.SetProperty(kFileDialog, Property::Title, Text(title));
  controls.SetProperty(kFileDialog, Property::DialogType, type);
  if (type == 0) {
    controls.SetProperty(kFileDialog, Property::Filter, Text("文本文件(*.txt)|*.txt"));
    controls.SetProperty(kFileDialog, Property::InitialFilter, 0);
  }
  if (!services.Get<Dialogs>().OpenDialog(kFileDialog)) return std::nullopt;
  return controls.GetProperty(kFileDialog, Property::FileName).AsText();
}

bool IsUtf16(TextEncoding encoding) {
  return encoding == TextEncoding::Utf16LeBom || encoding == TextEncoding::Utf16BeBom;
}

// A save dialog: its type list chooses the encoding, preset to the script's own (GBK,
// UTF-8, and a UTF-16 script's own as a third). The path and the encoding, or nothing.
struct SaveChoice {
  Text path;
  TextEncoding encoding;
};
std::optional<SaveChoice> AskWhereToSave(Uses<WindowControls, Dialogs> services, const char* title,
                                         TextEncoding current) {
  auto& controls = services.Get<WindowControls>();
  Text filter = "文本文件 GBK (*.txt)|*.txt|文本文件 UTF-8 (*.txt)|*.txt|";
  if (IsUtf16(current)) filter += "文本文件 UTF-16 (*.txt)|*.txt|";
  const int preset = current == TextEncoding::Gbk ? 0 : IsUtf16(current) ? 2 : 1;
  controls.SetProperty(kFileDialog, Property::Filter, filter);
  controls.SetProperty(kFileDialog, Property::InitialFilter, preset);
  const std::optional<Text> path = AskForFile(services, title, 1);
  if (!path) return std::nullopt;
  const int chosen = controls.GetProperty(kFileDialog, Property::InitialFilter).AsInt();
  if (chosen == preset) return SaveChoice{*path, current};
  return SaveChoice{*path, chosen == 1 ? TextEncoding::Utf8 : TextEncoding::Gbk};
}

// The whole script: during a typing run the editor holds only what is typed so far.
Text CurrentScript(WindowControls& controls, const DocumentState& document) {
  if (document.scriptBeingTyped)
    if (std::optional<Text> typed = document.scriptBeingTyped()) return *typed;
  return controls.GetProperty(kEditor, Property::Content).AsText();
}

// The title names the script's file, as after 打开.
void TitleNamesFile(WindowControls& controls, const Text& path) {
  const Text banner = controls.GetProperty(Control::编辑框2, Property::Content).AsText();
  controls.SetProperty(Control::_启动窗口, Property::Title, path + "   " + banner);
}

SaveOutcome SaveTo(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                   DocumentState& document, const Text& path, TextEncoding encoding) {
  if (document.busy) return SaveOutcome::Cancelled;
  // During a typing run the document is the whole script being typed.
  std::optional<Text> typed;
  if (document.scriptBeingTyped) typed = document.scriptBeingTyped();

  // Written on a worker; the mark is taken now, so that typing during the save marks
  // the text again, and given back if the save does not succeed.
  struct Result {
    Text content;
    bool encoded = true;
    bool written = false;
    FileProblem problem = FileProblem::None;
  };
  auto result = std::make_shared<Result>();
  const bool wasChanged = IsDocumentChanged(services);
  SetDocumentChanged(services, false);
  document.busy = true;
  document.changesBeingSaved = wasChanged;
  const bool finished = RunWithProgress(
      services, Text("正在保存文件…"),
      [services, result, typed = std::move(typed), encoding, lineBreak = document.lineBreak,
       path](WorkPercent& percent) {
        FileSystem& files = services.Get<FileSystem>();
        result->content =
            typed ? *typed
                  : services.Get<WindowControls>().GetProperty(kEditor, Property::Content).AsText();
        percent = 30;
        std::optional<ByteBuffer> bytes =
            EncodeScript(WithLineBreaks(result->content, lineBreak), encoding);
        percent = 50;
        result->encoded = bytes.has_value();
        if (!bytes) return;
        std::vector<ByteBuffer> buffers;
        buffers.push_back(std::move(*bytes));
        // The old file is replaced only by a complete, flushed new one.
        result->written = files.SaveFileBytes(path, buffers);
        if (!result->written) result->problem = files.LastFileProblem();
      },
      [&document] { return document.ending; });
  document.busy = false;
  document.changesBeingSaved = false;
  if (!finished || !result->written) {
    if (wasChanged) SetDocumentChanged(services, true);
    if (!finished) return SaveOutcome::Cancelled;
    ShowError(services, "保存文件失败!", path,
              result->encoded ? ReasonFor(result->problem)
                              : Text("文字中有该文件的编码无法保存的字节。"));
    return SaveOutcome::Failed;
  }
  if (path != document.CurrentFileName) TitleNamesFile(services, path);
  document.CurrentFileName = path;
  document.encoding = encoding;
  document.savedText = std::move(result->content);
  if (document.textSettled) document.textSettled();
  return SaveOutcome::Saved;
}

}  // namespace

bool IsDocumentChanged(WindowControls& controls) {
  return controls.SendControlMessage(kEditor, EM_GETMODIFY, 0, 0) != 0;
}

void SetDocumentChanged(WindowControls& controls, bool changed) {
  controls.SendControlMessage(kEditor, EM_SETMODIFY, changed ? 1 : 0, 0);
}

SaveOutcome SaveDocument(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                         DocumentState& document, const Text& name, bool useGivenName) {
  if (document.busy) return SaveOutcome::Cancelled;
  const Text path = useGivenName ? name : document.CurrentFileName;
  if (!path.empty()) return SaveTo(services, document, path, document.encoding);
  const auto chosen = AskWhereToSave(services, "请输入欲保存到的文本文件名:", document.encoding);
  if (!chosen) return SaveOutcome::Cancelled;  // nothing written, the mark as it was
  return SaveTo(services, document, chosen->path, chosen->encoding);
}

void SaveDocumentAs(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                    DocumentState& document) {
  if (document.busy) return;
  const auto chosen = AskWhereToSave(services, "请输入欲另存到的文本文件名:", document.encoding);
  if (chosen) SaveTo(services, document, chosen->path, chosen->encoding);
}

bool LoadDocument(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                  DocumentState& document, const Text& path) {
  if (document.busy) return false;
  // Read, recognised and made ready for the editor on a worker; the editor and the
  // document change in one step on the user-interface thread once the text is ready.
  struct Result {
    bool loaded = false;
    FileProblem problem = FileProblem::None;
  };
  auto result = std::make_shared<Result>();
  document.busy = true;
  const bool finished = RunWithProgress(
      services, Text("正在打开文件…"),
      [services, &document, result, path](WorkPercent& percent) {
        WindowControls& controls = services.Get<WindowControls>();
        FileSystem& files = services.Get<FileSystem>();
        // Opening through the file table honours other opens' sharing. Only a regular
        // file of a bounded size: a FIFO or device is never waited on or read forever.
        const int file = files.OpenFile(path, 1, 1);
        if (file == 0) {
          result->problem = files.LastFileProblem();
          return;
        }
        std::optional<ByteBuffer> bytes = files.ReadRegularFile(path, kLargestScriptFile);
        if (!bytes) result->problem = files.LastFileProblem();
        files.CloseFile(file);
        if (!bytes) return;
        percent = 30;
        std::optional<DecodedScript> script = DecodeScript(*bytes);
        bytes.reset();
        if (!script) {
          result->problem = FileProblem::NotText;
          return;
        }
        Text lineBreak = ScriptLineBreak(script->text);
        percent = 50;
        const int prepared = controls.PrepareContent(kEditor, script->text);
        if (prepared == 0) return;
        percent = 100;
        bool put = false;
        services.Get<Threads>().RunOnUiThread([&] {
          // A typing run ends first, so that it never types into another document.
          if (document.endTyping) document.endTyping();
          put = controls.PutPreparedContent(prepared);
          if (!put) return;
          SetDocumentChanged(services, false);
          document.CurrentFileName = path;
          document.encoding = script->encoding;
          document.lineBreak = std::move(lineBreak);
          document.savedText = std::move(script->text);
          if (document.textSettled) document.textSettled();
        });
        if (!put) controls.DiscardPreparedContent(prepared);
        result->loaded = put;
      },
      [&document] { return document.ending; });
  document.busy = false;
  if (finished && !result->loaded)
    ShowError(services, "打开文件失败!", path, ReasonFor(result->problem));
  return finished && result->loaded;
}

void OpenDocument(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                  DocumentState& document) {
  if (!MayProceed(AskToSaveChanges(services, document))) return;
  const auto chosen = AskForFile(services, "请输入欲打开的文本文件名:", 0);
  if (chosen) OpenDocumentFile(services, document, *chosen);
}

void OpenDocumentFile(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                      DocumentState& document, const Text& path) {
  if (LoadDocument(services, document, path)) TitleNamesFile(services, path);
}

bool HasUnsavedText(WindowControls& controls, const DocumentState& document) {
  return document.changesBeingSaved || IsDocumentChanged(controls);
}

ChangesOutcome AskToSaveChanges(Uses<WindowControls, Dialogs, FileSystem, Threads> services,
                                DocumentState& document) {
  // Nothing is closed or replaced under an open or save that is under way.
  if (document.busy) return ChangesOutcome::Cancelled;
  if (!IsDocumentChanged(services) || CurrentScript(services, document) == document.savedText)
    return ChangesOutcome::Unchanged;
  const Text title =
      services.Get<WindowControls>().GetProperty(Control::_启动窗口, Property::Title).AsText();
  const Text question = "文件 " + title + " 的文字已经改变。\r\n想保存文件吗?";
  const int answer = services.Get<Dialogs>().ShowMessageBox(
      question, kMbYesNoCancel | kMbIconQuestion, Text("_启动窗口"));
  if (answer == kAnswerYes) {
    return SaveDocument(services, document, Text(), false) == SaveOutcome::Saved
               ? ChangesOutcome::Saved
               : ChangesOutcome::Cancelled;
  }
  return answer == kAnswerNo ? ChangesOutcome::Discarded : ChangesOutcome::Cancelled;
}
