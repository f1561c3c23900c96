#include "document/DocumentFiles.h"

#include <optional>

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
  if (!services.OpenDialog(kFileDialog)) return std::nullopt;
  return services.GetProperty(kFileDialog, Property::FileName).AsText();
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
  Text path = useGivenName ? name : document.CurrentFileName;
  if (path.empty()) {
    const auto chosen = AskForFile(services, "请输入欲保存到的文本文件名:", 1);
    if (!chosen) return SaveOutcome::Cancelled;  // nothing written, the mark as it was
    path = *chosen;
  }
  // During a typing run the document is the whole script being typed.
  std::optional<Text> typed;
  if (document.scriptBeingTyped) typed = document.scriptBeingTyped();
  const Text content = typed ? *typed : services.GetProperty(kEditor, Property::Content).AsText();
  const std::optional<ByteBuffer> bytes = EncodeScript(content, document.encoding);
  // The old file is replaced only by a complete, flushed new one; the mark is
  // cleared only once the text is safely on disk.
  if (!bytes || !services.ReplaceFileBytes(path, {*bytes})) {
    ShowError(services, "保存文件失败!");
    return SaveOutcome::Failed;
  }
  SetDocumentChanged(services, false);
  document.CurrentFileName = path;
  if (document.textSettled) document.textSettled();
  return SaveOutcome::Saved;
}

void SaveDocumentAs(RuntimeServices& services, DocumentState& document) {
  const auto chosen = AskForFile(services, "请输入欲另存到的文本文件名:", 1);
  if (!chosen) return;
  SaveDocument(services, document, *chosen, true);
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
  if (document.textSettled) document.textSettled();
  return true;
}

void OpenDocument(RuntimeServices& services, DocumentState& document) {
  if (!MayProceed(AskToSaveChanges(services, document))) return;
  const auto chosen = AskForFile(services, "请输入欲打开的文本文件名:", 0);
  if (chosen) OpenDocumentFile(services, document, *chosen);
}

void OpenDocumentFile(RuntimeServices& services, DocumentState& document, const Text& path) {
  if (!LoadDocument(services, document, path)) return;
  const Text banner = services.GetProperty(Control::编辑框2, Property::Content).AsText();
  services.SetProperty(Control::_启动窗口, Property::Title, path + "   " + banner);
}

ChangesOutcome AskToSaveChanges(RuntimeServices& services, DocumentState& document) {
  if (!IsDocumentChanged(services)) return ChangesOutcome::Unchanged;
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
