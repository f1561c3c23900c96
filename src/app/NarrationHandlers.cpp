#include "app/NarrationHandlers.h"

#include "document/DocumentFiles.h"
#include "document/FailureMessages.h"
#include "document/ScriptEncoding.h"
#include "framework/TextCodec.h"
#include "speech/NarrationExport.h"
#include "speech/Pronunciations.h"

namespace {

constexpr Control kWaveDialog = Control::通用对话框3;
constexpr const char* kAudioFilter =
    "WAV 音频 (*.wav)|*.wav|FLAC 无损 (*.flac)|*.flac|Ogg Vorbis (*.ogg)|*.ogg|"
    "Opus (*.opus)|*.opus|MP3 (*.mp3)|*.mp3";

// The output (the audio or its subtitles) that is the script's own file, through
// whatever links; empty when none is. Writing it would destroy the script.
Text OutputThatIsTheScript(FileSystem& files, const Text& scriptPath, const Text& audioPath,
                           const Text& subtitlePath) {
  if (scriptPath.empty()) return Text();
  for (const Text& output : {audioPath, subtitlePath})
    if (files.IsSameFile(scriptPath, output)) return output;
  return Text();
}

}  // namespace

void ExportNarrationClicked(Program& program) {
  RuntimeServices& services = program.services;
  if (program.narrationExport) return;  // one at a time
  const Text script = services.GetProperty(Control::编辑框1, Property::Content).AsText();
  services.SetProperty(kWaveDialog, Property::Title, Text("导出语音和字幕"));
  services.SetProperty(kWaveDialog, Property::DialogType, 1);
  services.SetProperty(kWaveDialog, Property::Filter, Text(kAudioFilter));
  if (!services.OpenDialog(kWaveDialog)) return;
  Text path = services.GetProperty(kWaveDialog, Property::FileName).AsText();
  if (!HasAudioExtension(path)) path += ".wav";
  const Text clash = OutputThatIsTheScript(services, program.document.CurrentFileName, path,
                                           SubtitlePathFor(path));
  if (!clash.empty()) {
    services.ShowMessageBox("语音和字幕未能导出：" + clash + " 就是讲稿文件本身。",
                            kMbIconStop | kMbOk, Text("错误"));
    return;
  }

  // On a worker of its own, the window answering meanwhile; the box can cancel it.
  const auto job = std::make_shared<NarrationJob>(services);
  program.narrationExport = job;
  const NarrationOutcome outcome =
      ExportNarrationOnWorker(services, job, script, path, SubtitlePathFor(path), [&](int percent) {
        return services.ShowProgress(Text("正在导出语音和字幕…"), percent, 100);
      });
  program.narrationExport = nullptr;
  // Why writing failed, on a line of its own, when the system said.
  const Text why = job->problem == FileProblem::None ? Text() : "\r\n" + ReasonFor(job->problem);
  services.EndProgress();
  switch (outcome) {
    case NarrationOutcome::Written:
    case NarrationOutcome::Cancelled:
      break;
    case NarrationOutcome::NothingToRead:
      services.ShowMessageBox(Text("没有可以朗读的文字。"), kMbIconInformation | kMbOk);
      break;
    case NarrationOutcome::Unwritable:
      services.ShowMessageBox("无法写入文件：" + path + why, kMbIconStop | kMbOk, Text("错误"));
      break;
    case NarrationOutcome::Failed:
      services.ShowMessageBox("语音和字幕未能导出：合成失败，或文件无法写入。" + why,
                              kMbIconStop | kMbOk, Text("错误"));
      break;
  }
}

bool StopNarrationExportForExit(Program& program) {
  const std::shared_ptr<NarrationJob> job = program.narrationExport;
  if (!job) return true;
  job->pieces.RequestStop();
  for (int waited = 0; !job->ended; waited += 10) {
    if (waited >= 3000) return false;
    program.services.DelayWithEvents(10);
  }
  return true;
}

int ExportNarrationCommand(
    Uses<FileSystem, Threads, Settings, Libraries, AudioFiles, Processes> services,
    const Text& scriptPath, const Text& audioPath, const Text& givenSubtitlePath,
    const std::function<void(int percent)>& report, const std::function<bool()>& keepGoing,
    Text* problem) {
  const Text& wavePath = audioPath;
  const Text subtitlePath =
      givenSubtitlePath.empty() ? SubtitlePathFor(audioPath) : givenSubtitlePath;
  if (const Text clash = OutputThatIsTheScript(services, scriptPath, audioPath, subtitlePath);
      !clash.empty()) {
    *problem = "the output " + clash + " is the script itself; nothing was written";
    return 1;
  }
  const std::optional<ByteBuffer> bytes =
      services.Get<FileSystem>().ReadRegularFile(scriptPath, kLargestScriptFile);
  const std::optional<DecodedScript> script =
      bytes ? DecodeScript(*bytes) : std::optional<DecodedScript>();
  if (!script) {
    *problem = "the script is not a readable text file of at most 256 MB: " + scriptPath;
    return 1;
  }
  SpeechSession speech(services);
  if (speech.Initialize() != 0) {
    *problem = "the speech engine did not start";
    return 1;
  }
  int shown = -1;
  const NarrationOutcome outcome =
      ExportNarrationOnWorker(services, std::make_shared<NarrationJob>(services), script->text,
                              wavePath, subtitlePath, [&](int percent) {
                                if (percent != shown) report(shown = percent);
                                return keepGoing();
                              });
  speech.Finalize();
  if (outcome == NarrationOutcome::Written) {
    if (shown != 100) report(100);
    return 0;
  }
  switch (outcome) {
    case NarrationOutcome::NothingToRead:
      *problem = "the script holds nothing to read";
      break;
    case NarrationOutcome::Unwritable:
      *problem = "cannot write " + wavePath +
                 " (a folder that cannot be written to, or not .wav, .flac, .ogg, .opus or .mp3)";
      break;
    case NarrationOutcome::Cancelled:
      *problem = Text("the export was stopped; nothing was written");
      break;
    default:
      *problem =
          "synthesis failed or the files could not be written: " + wavePath + ", " + subtitlePath;
  }
  return 1;
}

void EditPronunciations(Uses<Dialogs, FileSystem, Network> services) {
  auto& files = services.Get<FileSystem>();
  const Text path = PronunciationsPath(services);
  if (!files.FileExists(path)) {
    const std::string example = Utf8FromText(
        "# 发音词典：每行一条，写法 => 读法。英文按整词匹配，不分大小写。\n"
        "# /正则表达式/ => 读法 按模式匹配；# 之后是注释。只影响朗读和导出的声音。\n"
        "# GitHub => 吉特哈布\n"
        "# /\\bnginx\\b/ => engine x\n");
    files.CreateFileBytes(path, {ByteBuffer(example.begin(), example.end())});
  }
  const std::optional<ByteBuffer> bytes = files.ReadRegularFile(path, 16u << 20);
  const Pronunciations list = bytes ? ParsePronunciations(*bytes) : Pronunciations();
  if (!list.problems.empty()) {
    Text message = "发音词典中这些行没有用上：";
    for (const Text& problem : list.problems) message += "\r\n" + problem;
    services.Get<Dialogs>().ShowMessageBox(message, kMbIconExclamation | kMbOk, Text("发音词典"));
  }
  services.Get<Network>().OpenUrl("file://" + path);
}
