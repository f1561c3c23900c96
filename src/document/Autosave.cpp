#include "document/Autosave.h"

#include <algorithm>
#include <string>
#include <vector>

#include "document/RecoveryCopy.h"
#include "document/ScriptEncoding.h"

namespace {

constexpr Control kEditor = Control::编辑框1;
const Text kInfoHeading = "orvane-notepad autosave\n";

// The encodings by the names the side file gives them.
const std::pair<TextEncoding, const char*> kEncodingNames[] = {
    {TextEncoding::Gbk, "gb18030"},
    {TextEncoding::Utf8, "utf-8"},
    {TextEncoding::Utf8WithBom, "utf-8-bom"},
    {TextEncoding::Utf16LeBom, "utf-16le-bom"},
    {TextEncoding::Utf16BeBom, "utf-16be-bom"},
};

Text EncodingName(TextEncoding encoding) {
  for (const auto& [known, name] : kEncodingNames)
    if (known == encoding) return name;
  return "gb18030";
}

std::optional<TextEncoding> EncodingNamed(const Text& name) {
  for (const auto& [known, known_name] : kEncodingNames)
    if (name == known_name) return known;
  return std::nullopt;
}

// What one copy holds: the text as the editor had it, and what the side file says.
struct Snapshot {
  Text text;
  TextEncoding encoding = TextEncoding::Gbk;
  Text documentPath;
  int processId = 0;
};

// What a side file said about a copy left behind.
struct LeftInfo {
  std::optional<TextEncoding> encoding;  // nothing: not known, the bytes tell
  Text documentPath;
};

ByteBuffer InfoBytes(const Snapshot& copy) {
  // The path comes last and runs to the end: a name may hold any byte but zero.
  const Text info = kInfoHeading + "pid=" + std::to_string(copy.processId) +
                    "\nencoding=" + EncodingName(copy.encoding) + "\npath=" + copy.documentPath;
  return ByteBuffer(info.begin(), info.end());
}

LeftInfo ParseInfo(const ByteBuffer& bytes) {
  LeftInfo info;
  const Text text(bytes.begin(), bytes.end());
  if (text.compare(0, kInfoHeading.size(), kInfoHeading) != 0) return info;
  std::size_t at = kInfoHeading.size();
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const Text line = text.substr(at, end == Text::npos ? Text::npos : end - at);
    if (line.compare(0, 5, "path=") == 0) {
      info.documentPath = text.substr(at + 5);
      break;
    }
    if (line.compare(0, 9, "encoding=") == 0) info.encoding = EncodingNamed(line.substr(9));
    if (end == Text::npos) break;
    at = end + 1;
  }
  return info;
}

Text Base(const Text& folder, int processId) { return folder + "/" + std::to_string(processId); }

void RemovePair(FileSystem& files, const Text& base) {
  files.RemoveFile(base + ".txt");
  files.RemoveFile(base + ".info");
}

Text AutosaveFolderIn(FileSystem& files, const Text& parent) {
  return parent.empty() ? Text() : files.PrivateFolder(parent + "/autosave");
}

// The folder in use, chosen at the first need. Under the writing lock, or before any
// background work exists.
Text& FolderInUse(Uses<FileSystem, Processes> services, AutosaveState::Shared& shared) {
  auto& files = services.Get<FileSystem>();
  if (!shared.folder) {
    shared.folder = AutosaveFolderIn(services, files.StateDirectory());
    if (shared.folder->empty()) {
      shared.folder = AutosaveFolderIn(services, files.FallbackDirectory());
      shared.fellBack = true;
      services.Get<Processes>().ReportProblem(
          "the state folder cannot be used; autosave copies go to " +
          (shared.folder->empty() ? Text("nowhere") : *shared.folder));
    }
  }
  return *shared.folder;
}

bool WritePair(FileSystem& files, const Text& folder, const Snapshot& copy,
               const ByteBuffer& bytes) {
  if (folder.empty()) return false;
  // The side file first: a text file is never without what it belongs to.
  const Text base = Base(folder, copy.processId);
  return files.ReplacePrivateFile(base + ".info", {InfoBytes(copy)}) &&
         files.ReplacePrivateFile(base + ".txt", {bytes});
}

// Writes the copy, moving once to the fallback folder when its folder cannot be
// written (gone, read-only, full). Under the writing lock.
bool WriteLocked(Uses<FileSystem, Processes> services, AutosaveState::Shared& shared,
                 Snapshot copy) {
  const ByteBuffer bytes = ScriptBytesOrEditorBytes(copy.text, copy.encoding);
  Text& folder = FolderInUse(services, shared);
  if (WritePair(services, folder, copy, bytes)) return true;
  if (shared.fellBack) return false;
  shared.fellBack = true;
  const Text failed = folder;
  if (!failed.empty()) RemovePair(services, Base(failed, copy.processId));
  folder = AutosaveFolderIn(services, services.Get<FileSystem>().FallbackDirectory());
  services.Get<Processes>().ReportProblem(
      "the autosave folder " + (failed.empty() ? Text("(none)") : failed) +
      " cannot be written; autosave copies go to " + (folder.empty() ? Text("nowhere") : folder));
  return WritePair(services, folder, copy, bytes);
}

// The text a copy must hold: during a typing run the whole script being typed; the text
// the caller took already, when it did.
std::optional<Snapshot> TakeSnapshot(Uses<WindowControls, Processes> services,
                                     DocumentState& document,
                                     std::optional<Text> taken = std::nullopt) {
  // Text whose save has not finished is still unsaved.
  if (!HasUnsavedText(services, document)) return std::nullopt;
  Snapshot copy;
  if (!taken && document.scriptBeingTyped) taken = document.scriptBeingTyped();
  copy.text = taken
                  ? std::move(*taken)
                  : services.Get<WindowControls>().GetProperty(kEditor, Property::Content).AsText();
  if (copy.text.empty()) return std::nullopt;  // nothing worth keeping
  copy.encoding = document.encoding;
  copy.documentPath = document.CurrentFileName;
  copy.processId = services.Get<Processes>().ProcessId();
  return copy;
}

void RemoveLater(Uses<FileSystem, Threads, Processes> services, AutosaveState& autosave) {
  const int generation = ++autosave.shared->generation;
  services.Get<Threads>().RunInBackground([services, shared = autosave.shared, generation] {
    std::lock_guard lock(shared->writing);
    if (shared->generation != generation) return;
    const Text& folder = FolderInUse(services, *shared);
    if (!folder.empty()) RemovePair(services, Base(folder, services.Get<Processes>().ProcessId()));
  });
}

bool WriteNow(Uses<WindowControls, FileSystem, Processes> services, DocumentState& document,
              AutosaveState& autosave, std::optional<Text> taken = std::nullopt) {
  ++autosave.shared->generation;  // work given earlier would be older
  const std::optional<Snapshot> copy = TakeSnapshot(services, document, std::move(taken));
  if (!copy) return false;
  std::lock_guard lock(autosave.shared->writing);
  return WriteLocked(services, *autosave.shared, *copy);
}

bool AllDigits(const Text& text) {
  return !text.empty() && text.size() < 10 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void PutIntoEditor(WindowControls& controls, DocumentState& document, const ByteBuffer& bytes,
                   const LeftInfo& info) {
  std::optional<DecodedScript> script;
  if (info.encoding != TextEncoding::Gbk) script = DecodeScript(bytes);
  if (!script) script = DecodedScript{Text(bytes.begin(), bytes.end()), TextEncoding::Gbk};
  controls.SetProperty(kEditor, Property::Content, script->text);
  SetDocumentChanged(controls, true);
  document.CurrentFileName = info.documentPath;
  document.encoding = info.encoding.value_or(script->encoding);
  if (!info.documentPath.empty()) {
    const Text banner = controls.GetProperty(Control::编辑框2, Property::Content).AsText();
    controls.SetProperty(Control::_启动窗口, Property::Title, info.documentPath + "   " + banner);
  }
}

}  // namespace

Text AutosaveTextPath(Uses<FileSystem, Processes> services, const AutosaveState& autosave) {
  std::lock_guard lock(autosave.shared->writing);
  const Text& folder = FolderInUse(services, *autosave.shared);
  return folder.empty() ? Text() : Base(folder, services.Get<Processes>().ProcessId()) + ".txt";
}

Text AutosaveInfoPath(Uses<FileSystem, Processes> services, const AutosaveState& autosave) {
  std::lock_guard lock(autosave.shared->writing);
  const Text& folder = FolderInUse(services, *autosave.shared);
  return folder.empty() ? Text() : Base(folder, services.Get<Processes>().ProcessId()) + ".info";
}

void AutosaveTextChanged(Uses<WindowControls, FileSystem, Threads, Processes> services,
                         DocumentState& document, AutosaveState& autosave) {
  // Nothing but a note on a keystroke: the copy is taken once the delay is over.
  if (autosave.due || autosave.ended) return;
  autosave.due = true;
  services.Get<Threads>().RunLater(
      kAutosaveDelayMilliseconds,
      [services, &document, &autosave, alive = std::weak_ptr<int>(autosave.alive)] {
        if (!alive.expired()) WriteAutosaveCopy(services, document, autosave);
      });
}

void WriteAutosaveCopy(Uses<WindowControls, FileSystem, Threads, Processes> services,
                       DocumentState& document, AutosaveState& autosave) {
  auto& processes = services.Get<Processes>();
  autosave.due = false;
  if (autosave.ended) return;
  if (!HasUnsavedText(services, document)) {
    RemoveLater(services, autosave);
    return;
  }
  // The text is taken now but converted on the background worker: in a script of
  // hundreds of megabytes that takes seconds, which the window would stand still for.
  std::optional<Text> typed;
  if (document.scriptBeingTyped) typed = document.scriptBeingTyped();
  std::function<Text()> text = typed ? [script = std::move(*typed)] { return script; }
                                     : services.Get<WindowControls>().ContentForLater(kEditor);
  Snapshot copy;
  copy.encoding = document.encoding;
  copy.documentPath = document.CurrentFileName;
  copy.processId = processes.ProcessId();
  const int generation = ++autosave.shared->generation;
  services.Get<Threads>().RunInBackground([services, shared = autosave.shared, generation,
                                           text = std::move(text),
                                           copy = std::move(copy)]() mutable {
    copy.text = text();
    std::lock_guard lock(shared->writing);
    if (shared->generation != generation) return;
    if (!copy.text.empty()) {
      WriteLocked(services, *shared, std::move(copy));
    } else if (const Text& folder = FolderInUse(services, *shared); !folder.empty()) {
      RemovePair(services,
                 Base(folder, services.Get<Processes>().ProcessId()));  // nothing worth keeping
    }
  });
}

void DiscardAutosaveCopy(Uses<FileSystem, Threads, Processes> services, AutosaveState& autosave) {
  RemoveLater(services, autosave);
}

void EndAutosave(Uses<FileSystem, Threads, Processes> services, AutosaveState& autosave) {
  autosave.ended = true;
  if (!autosave.keepAtExit) RemoveLater(services, autosave);
}

bool KeepAutosaveCopyNow(Uses<WindowControls, FileSystem, Processes> services,
                         DocumentState& document, AutosaveState& autosave, const Text& text) {
  autosave.keepAtExit = true;
  return WriteNow(services, document, autosave, text);
}

bool OfferAutosavedText(Uses<WindowControls, Dialogs, FileSystem, Threads, Processes> services,
                        DocumentState& document, AutosaveState& autosave) {
  auto& files = services.Get<FileSystem>();
  auto& processes = services.Get<Processes>();
  std::vector<Text> folders = {AutosaveFolderIn(services, files.StateDirectory()),
                               AutosaveFolderIn(services, files.FallbackDirectory())};
  if (folders[1] == folders[0]) folders.pop_back();
  const int self = processes.ProcessId();
  bool restored = false;
  for (const Text& folder : folders) {
    if (folder.empty()) continue;
    std::vector<Text> names = files.FilesInFolder(folder);
    std::sort(names.begin(), names.end());
    for (const Text& name : names) {
      const Text stem = name.size() > 4 ? name.substr(0, name.size() - 4) : Text();
      if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".txt") != 0 || !AllDigits(stem))
        continue;
      const int owner = std::stoi(stem);
      if (owner != self && processes.IsProgramRunning(owner)) continue;  // still in use
      const Text base = folder + "/" + stem;
      const std::optional<ByteBuffer> bytes =
          files.ReadRegularFile(base + ".txt", kLargestScriptFile);
      if (!bytes) continue;  // left where it is
      const LeftInfo info = ParseInfo(files.ReadFileBytes(base + ".info"));
      if (!restored && services.Get<Dialogs>().ShowMessageBox(
                           Text("发现上次未保存的文字，是否恢复？"), kMbYesNo | kMbIconQuestion,
                           Text("_启动窗口")) == kAnswerYes) {
        PutIntoEditor(services, document, *bytes, info);
        restored = true;
        // The old copy goes once this run's own copy holds the text.
        if (WriteNow(services, document, autosave) &&
            base + ".txt" != AutosaveTextPath(services, autosave))
          RemovePair(services, base);
        continue;
      }
      // Declined (or a second one): kept beside the recovery copies, never dropped.
      const Text kept = KeepRecoveredBytes(services, *bytes);
      if (kept.empty()) continue;
      RemovePair(services, base);
      processes.ReportProblem("unsaved text of an earlier run kept in " + kept);
    }
  }
  return restored;
}
