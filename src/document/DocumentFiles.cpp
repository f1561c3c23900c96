#include "document/DocumentFiles.h"

#include <optional>
#include <utility>

#include "document/ScriptEncoding.h"

namespace {

constexpr Control kEditor = Control::编辑框1;
constexpr Control kFileDialog = Control::通用对话框;

void ShowError(RuntimeServices& services, const char* message) {
  services.ShowMessageBox(Text(message), kMbIconStop | kMbOk, Text("错误"));
}

// Opens the file dialog with its title and type; the chosen path, or nothing.
std::optional<Text> AskForFile(RuntimeServices& services, const char* title, int type) {
  services.SetProperty(kFileDialog, Property::Title, Text(title));
  services.SetProperty(kFileDialog, Property::DialogType, type);
  if (type == 0) {
    services.SetProperty(kFileDialog, Property::Filter, Text("文本文件(*.txt)|*.txt"));
    services.SetProperty(kFileDialog, Property::InitialFilter, 0);
  }
  if (!services.OpenDialog(kFileDialog)) return std::nullopt;
  return services.GetProperty(kFileDialog, Property::FileName).AsText();
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
std::optional<SaveChoice> AskWhereToSave(RuntimeServices& services, const char* title,
                                         TextEncoding current) {
  Text filter = "文本文件 GBK (*.txt)|*.txt|文本文件 UTF-8 (*.txt)|*.txt|";
  if (IsUtf16(current)) filter += "文本文件 UTF-16 (*.txt)|*.txt|";
  const int preset = current == TextEncoding::Gbk ? 0 : IsUtf16(current) ? 2 : 1;
  services.SetProperty(kFileDialog, Property::Filter, filter);
  services.SetProperty(kFileDialog, Property::InitialFilter, preset);
  const std::optional<Text> path = AskForFile(services, title, 1);
  if (!path) return std::nullopt;
  const int chosen = services.GetProperty(kFileDialog, Property::InitialFilter).AsInt();
  if (chosen == preset) return SaveChoice{*path, current};
  return SaveChoice{*path, chosen == 1 ? TextEncoding::Utf8 : TextEncoding::Gbk};
}

// The whole script: during a typing run the editor holds only what is typed so far.
Text CurrentScript(RuntimeServices& services, const DocumentState& document) {
  if (document.scriptBeingTyped)
    if (std::optional<Text> typed = document.scriptBeingTyped()) return *typed;
  return services.GetProperty(kEditor, Property::Content).AsText();
}

// The title names the script's file, as after 打开.
void TitleNamesFile(RuntimeServices& services, const Text& path) {
  const Text banner = services.GetProperty(Control::编辑框2, Property::Content).AsText();
  services.SetProperty(Control::_启动窗口, Property::Title, path + "   " + banner);
}

SaveOutcome SaveTo(RuntimeServices& services, DocumentState& document, const Text& path,
                   TextEncoding encoding) {
  const Text content = CurrentScript(services, document);
  const std::optional<ByteBuffer> bytes =
      EncodeScript(WithLineBreaks(content, document.lineBreak), encoding);
  // The old file is replaced only by a complete, flushed new one; the mark is
  // cleared only once the text is safely on disk.
  if (!bytes || !services.ReplaceFileBytes(path, {*bytes})) {
    ShowError(services, "保存文件失败!");
    return SaveOutcome::Failed;
  }
  SetDocumentChanged(services, false);
  if (path != document.CurrentFileName) TitleNamesFile(services, path);
  document.CurrentFileName = path;
  document.encoding = encoding;
  document.savedText = content;
  if (document.textSettled) document.textSettled();
  return SaveOutcome::Saved;
}

}  // namespace

bool IsDocumentChanged(RuntimeServices& services) {
  return services.SendControlMessage(kEditor, EM_GETMODIFY, 0, 0) != 0;
}

void SetDocumentChanged(RuntimeServices& services, bool changed) {
  services.SendControlMessage(kEditor, EM_SETMODIFY, changed ? 1 : 0, 0);
}

SaveOutcome SaveDocument(RuntimeServices& services, DocumentState& document, const Text& name,
                         bool useGivenName) {
  const Text path = useGivenName ? name : document.CurrentFileName;
  if (!path.empty()) return SaveTo(services, document, path, document.encoding);
  const auto chosen = AskWhereToSave(services, "请输入欲保存到的文本文件名:", document.encoding);
  if (!chosen) return SaveOutcome::Cancelled;  // nothing written, the mark as it was
  return SaveTo(services, document, chosen->path, chosen->encoding);
}

void SaveDocumentAs(RuntimeServices& services, DocumentState& document) {
  const auto chosen = AskWhereToSave(services, "请输入欲另存到的文本文件名:", document.encoding);
  if (chosen) SaveTo(services, document, chosen->path, chosen->encoding);
}

bool LoadDocument(RuntimeServices& services, DocumentState& document, const Text& path) {
  // Opening through the file table honours other opens' sharing; the bytes are then
  // read whole. Nothing of the document changes until the text is known.
  // Only a regular file of a bounded size: a FIFO or device is never waited on or
  // read forever.
  const int file = services.OpenFile(path, 1, 1);
  std::optional<DecodedScript> script;
  if (file != 0) {
    if (const auto bytes = services.ReadRegularFile(path, kLargestScriptFile))
      script = DecodeScript(*bytes);
    services.CloseFile(file);
  }
  if (!script) {
    ShowError(services, "打开文件失败!");
    return false;
  }
  // A typing run ends first, so that it never types into another document.
  if (document.endTyping) document.endTyping();
  services.SetProperty(kEditor, Property::Content, script->text);
  SetDocumentChanged(services, false);
  document.CurrentFileName = path;
  document.encoding = script->encoding;
  document.lineBreak = ScriptLineBreak(script->text);
  document.savedText = std::move(script->text);
  if (document.textSettled) document.textSettled();
  return true;
}

void OpenDocument(RuntimeServices& services, DocumentState& document) {
  if (!MayProceed(AskToSaveChanges(services, document))) return;
  const auto chosen = AskForFile(services, "请输入欲打开的文本文件名:", 0);
  if (chosen) OpenDocumentFile(services, document, *chosen);
}

void OpenDocumentFile(RuntimeServices& services, DocumentState& document, const Text& path) {
  if (LoadDocument(services, document, path)) TitleNamesFile(services, path);
}

ChangesOutcome AskToSaveChanges(RuntimeServices& services, DocumentState& document) {
  if (!IsDocumentChanged(services) || CurrentScript(services, document) == document.savedText)
    return ChangesOutcome::Unchanged;
  const Text title = services.GetProperty(Control::_启动窗口, Property::Title).AsText();
  const Text question = "文件 " + title + " 的文字已经改变。\r\n想保存文件吗?";
  const int answer =
      services.ShowMessageBox(question, kMbYesNoCancel | kMbIconQuestion, Text("_启动窗口"));
  if (answer == kAnswerYes) {
    return SaveDocument(services, document, Text(), false) == SaveOutcome::Saved
               ? ChangesOutcome::Saved
               : ChangesOutcome::Cancelled;
  }
  return answer == kAnswerNo ? ChangesOutcome::Discarded : ChangesOutcome::Cancelled;
}
