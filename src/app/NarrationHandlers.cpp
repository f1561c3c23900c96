#include "app/NarrationHandlers.h"

#include "document/ScriptEncoding.h"
#include "speech/NarrationExport.h"

namespace {

constexpr Control kWaveDialog = Control::通用对话框3;

int Percent(std::size_t done, std::size_t total) {
  return total == 0 ? 100 : static_cast<int>(done * 100 / total);
}

}  // namespace

void ExportNarrationClicked(Program& program) {
  RuntimeServices& services = program.services;
  const Text script = services.GetProperty(Control::编辑框1, Property::Content).AsText();
  services.SetProperty(kWaveDialog, Property::Title, Text("导出语音和字幕"));
  services.SetProperty(kWaveDialog, Property::DialogType, 1);
  if (!services.OpenDialog(kWaveDialog)) return;
  const Text path = services.GetProperty(kWaveDialog, Property::FileName).AsText();

  // A session of its own: a reading under way keeps its session, the engine takes turns.
  SpeechSession speech(services);
  const NarrationOutcome outcome =
      ExportNarration(services, speech, script, path, [&](std::size_t done, std::size_t total) {
        return services.ShowProgress(Text("正在导出语音和字幕…"), Percent(done, total), 100);
      });
  services.EndProgress();
  switch (outcome) {
    case NarrationOutcome::Written:
    case NarrationOutcome::Cancelled:
      break;
    case NarrationOutcome::NothingToRead:
      services.ShowMessageBox(Text("没有可以朗读的文字。"), kMbIconInformation | kMbOk);
      break;
    case NarrationOutcome::Failed:
      services.ShowMessageBox(Text("语音和字幕未能导出：合成失败，或文件无法写入。"),
                              kMbIconStop | kMbOk, Text("错误"));
      break;
  }
}

int ExportNarrationCommand(RuntimeServices& services, const Text& scriptPath, const Text& wavePath,
                           const std::function<void(int percent)>& report, Text* problem) {
  const ByteBuffer bytes = services.ReadFileBytes(scriptPath);
  const std::optional<DecodedScript> script = DecodeScript(bytes);
  if (!services.FileExists(scriptPath) || !script) {
    *problem = "the script cannot be read as text: " + scriptPath;
    return 1;
  }
  SpeechSession speech(services);
  if (speech.Initialize() != 0) {
    *problem = "the speech engine did not start";
    return 1;
  }
  int shown = -1;
  const NarrationOutcome outcome = ExportNarration(
      services, speech, script->text, wavePath, [&](std::size_t done, std::size_t total) {
        if (const int percent = Percent(done, total); percent != shown) report(shown = percent);
        return true;
      });
  speech.Finalize();
  if (outcome == NarrationOutcome::Written) {
    if (shown != 100) report(100);
    return 0;
  }
  *problem = outcome == NarrationOutcome::NothingToRead
                 ? Text("the script holds nothing to read")
                 : "synthesis failed or the files could not be written: " + wavePath;
  return 1;
}
