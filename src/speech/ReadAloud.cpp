#include "speech/ReadAloud.h"

#include <string_view>

#include "speech/SpokenScript.h"
#include "speech/VoiceSample.h"

namespace {

enum class Buttons { Idle, Reading, Paused };

void ShowButtons(WindowControls& controls, Buttons buttons) {
  controls.SetProperty(Control::按钮10, Property::Disabled, buttons == Buttons::Reading);
  controls.SetProperty(Control::按钮11, Property::Disabled, buttons != Buttons::Reading);
  controls.SetProperty(Control::按钮12, Property::Disabled, buttons == Buttons::Idle);
}

constexpr Control kEditor = Control::编辑框1;
const Text kHighlightSetting = "reading/highlight";

// Where the heard sentence is in the editor's text now: at its place in the script when
// the text there is unchanged, else its copy nearest that place; npos when it is gone.
// The editor may have been cleared, shortened or rewritten since the reading began, so
// no offset of the script is taken to be inside it.
std::size_t SentenceNow(const Text& now, std::string_view sentence, std::size_t was) {
  if (sentence.empty()) return Text::npos;
  const std::size_t after = now.find(sentence, was);
  const std::size_t before = now.rfind(sentence, was);
  if (before == Text::npos) return after;
  if (after == Text::npos) return before;
  return after - was < was - before ? after : before;
}

// Marks the sentence in the editor where it is now; -1, or a sentence no longer
// there, clears the mark.
void MarkSentence(WindowControls& controls, const Text& script,
                  const std::vector<SpokenSentence>& sentences, int index) {
  if (index < 0 || index >= static_cast<int>(sentences.size()))
    return controls.MarkText(kEditor, 0, 0);
  const SpokenSentence& heard = sentences[index];
  const std::string_view sentence =
      std::string_view(script).substr(heard.textBegin, heard.textEnd - heard.textBegin);
  const Text now = controls.GetProperty(kEditor, Property::Content).AsText();
  const std::size_t at = SentenceNow(now, sentence, heard.textBegin);
  if (at == Text::npos) return controls.MarkText(kEditor, 0, 0);
  controls.MarkText(kEditor, static_cast<int>(at), static_cast<int>(sentence.size()));
}

// A device that could not be opened at start-up may have come since (a headset plugged in).
bool SoundDeviceReady(const ReadAloud& reading) {
  ReadAloudState& state = reading.state;
  if (!state.soundDevice) state.soundDevice = reading.player.InitDevice();
  if (state.soundDevice) return true;
  // Ctrl+A pressed again while the message is up adds no second one.
  if (!state.noDeviceMessage) {
    state.noDeviceMessage = true;
    reading.services.Get<Dialogs>().ShowMessageBox(Text("没有找到可用的声音输出设备，无法朗读。"),
                                                   kMbOk | kMbIconExclamation, Text("语音"));
    state.noDeviceMessage = false;
  }
  return false;
}

}  // namespace

void StartOrContinueReading(const ReadAloud& reading) {
  ReadAloudState& state = reading.state;
  if (state.worker <= 0) {
    if (!SoundDeviceReady(reading)) {
      ShowButtons(reading.services, Buttons::Idle);
      return;
    }
    state.stream = 0;
    state.started = false;
    // The user asked for the reading: a voice sample still playing gives way.
    StopVoiceSample(reading);
    std::erase_if(state.stoppedWorkers, [&](int worker) {
      return !reading.services.Get<Threads>().IsThreadRunning(worker);
    });
    auto pieces = std::make_shared<PiecePipeline>(reading.services, reading.speech);
    int handle = 0;
    const ReadAloud copy = reading;
    if (!reading.services.Get<Threads>().StartThread(
            [copy, pieces](int) { ReadAloudWorker(copy, *pieces); }, 0, &handle))
      handle = 0;
    state.worker = handle;
    state.pieces = handle != 0 ? pieces : nullptr;
  } else if (IsReadingPaused(state)) {
    // Continue where the pause left off; a pause during synthesis just lets the audio
    // play when it arrives.
    if (state.stream != 0) {
      // Without restart the push stream goes on from where it was paused, so nothing
      // that was heard is heard twice (its position cannot be set).
      reading.player.Play(state.stream, false);
      state.started = true;
    }
    state.pieces->RequestContinue();
  }
  ShowButtons(reading.services, Buttons::Reading);
}

void PauseReading(const ReadAloud& reading) {
  ReadAloudState& state = reading.state;
  // With nothing being read there is nothing to pause: 结束 stays disabled.
  if (state.worker <= 0) return;
  if (state.stream != 0) reading.player.Pause(state.stream);
  if (state.pieces) state.pieces->RequestPause();
  ShowButtons(reading.services, Buttons::Paused);
}

void StopReading(const ReadAloud& reading) {
  ReadAloudState& state = reading.state;
  if (state.worker > 0 && reading.services.Get<Threads>().KillThread(state.worker)) {
    // The worker's own requests change nothing from here on; it leaves at its next step.
    state.stoppedWorkers.push_back(state.worker);
    state.worker = 0;
    if (state.stream != 0) reading.player.Stop(state.stream);
  }
  // The pipeline stops at its next look; the next reading has a pipeline of its own.
  if (state.pieces) state.pieces->RequestStop();
  state.pieces = nullptr;
  reading.services.Get<WindowControls>().MarkText(kEditor, 0, 0);
  ShowButtons(reading.services, Buttons::Idle);
}

void LoadReadingHighlight(const ReadAloud& reading) {
  reading.state.highlight =
      reading.services.Get<Settings>().GetSetting(kHighlightSetting) != "false";
  reading.services.Get<WindowControls>().SetMenuItemChecked(MenuItem::朗读时标出句子,
                                                            reading.state.highlight);
}

void ToggleReadingHighlight(const ReadAloud& reading) {
  ReadAloudState& state = reading.state;
  state.highlight = !state.highlight;
  ++state.highlightChanges;
  reading.services.Get<Settings>().SetSetting(kHighlightSetting,
                                              state.highlight ? "true" : "false");
  reading.services.Get<WindowControls>().SetMenuItemChecked(MenuItem::朗读时标出句子,
                                                            state.highlight);
  // Switched on, the reading marks its sentence at its next look.
  if (!state.highlight) reading.services.Get<WindowControls>().MarkText(kEditor, 0, 0);
}

bool StopReadingForExit(const ReadAloud& reading) {
  StopReading(reading);
  const auto& services = reading.services;
  const auto running = [&] {
    for (int worker : reading.state.stoppedWorkers)
      if (services.Get<Threads>().IsThreadRunning(worker)) return true;
    return false;
  };
  for (int waited = 0; running(); waited += 10) {
    if (waited >= 3000) return false;
    services.Get<Threads>().DelayWithEvents(10);
  }
  return true;
}

bool IsReadingPaused(const ReadAloudState& state) {
  return state.pieces && state.pieces->PauseRequested();
}

namespace {

// The reading's outlet: the pieces go into a push stream that plays from the first one
// on; what the stream has played is what has been heard, and its sentence is marked.
class PlayedPieces : public PieceOutlet {
 public:
  PlayedPieces(const ReadAloud& reading, const PiecePipeline& pieces, const Text& script)
      : reading_(reading), pieces_(pieces), script_(script) {}
  ~PlayedPieces() override {
    // Freed at once: a failed piece ends the reading here, as a stop does.
    if (stream_ != 0) reading_.player.FreeStream(stream_);
  }

  bool Take(const std::uint8_t* pcm, std::size_t bytes) override {
    AudioPlayer& player = reading_.player;
    if (stream_ != 0) return player.PushData(stream_, pcm, bytes, false) >= 0;
    stream_ = player.CreatePushStream(PiecePipeline::kSampleRate, 1);
    if (stream_ == 0 || player.PushData(stream_, pcm, bytes, false) < 0) return false;
    ReadAloudState& state = reading_.state;
    reading_.services.Get<Threads>().RunOnUiThread([&] {
      state.stream = stream_;
      // Paused before the audio arrived: it waits for continue.
      if (!pieces_.PauseRequested()) {
        player.Play(stream_);
        state.started = true;
      }
    });
    return true;
  }

  std::int64_t Heard() override { return reading_.player.GetPosition(stream_); }

  // A paused stream keeps its place, and so its mark.
  void Hearing(int sentence, const std::vector<SpokenSentence>& sentences) override {
    const auto& services = reading_.services;
    ReadAloudState& state = reading_.state;
    bool highlight = false;
    services.Get<Threads>().RunOnUiThread([&] {
      started_ = state.started;
      highlight = state.highlight;
      // Switched off and on again between two looks: the mark has gone, so put it back.
      if (seenChanges_ != state.highlightChanges) marked_ = -2;
      seenChanges_ = state.highlightChanges;
    });
    if (!started_ || !highlight) sentence = -1;
    if (sentence == marked_) return;
    services.Get<Threads>().RunOnUiThread(
        [&] { MarkSentence(services, script_, sentences, sentence); });
    marked_ = sentence;
  }

  bool Finish() override { return reading_.player.PushData(stream_, nullptr, 0, true) >= 0; }

  // Played to its end; a paused or stalled stream counts as active, and one paused before
  // it began waits for continue.
  bool HeardToTheEnd() override { return started_ && reading_.player.IsActive(stream_) == 0; }

 private:
  const ReadAloud& reading_;
  const PiecePipeline& pieces_;
  const Text& script_;
  AudioPlayer::Handle stream_ = 0;
  bool started_ = false;  // the stream has been played
  int marked_ = -1;
  int seenChanges_ = 0;
};

}  // namespace

void ReadAloudWorker(const ReadAloud& reading, PiecePipeline& pieces) {
  const auto& services = reading.services;
  ReadAloudState& state = reading.state;

  // Stopped readings' workers may still be leaving the engine: one owner at a time.
  // Every worker stopped before this one started is in the list, so waiting for them
  // all keeps the chain whatever was started and stopped in between; a worker that
  // could not take the list (it was stopped already) never goes near the engine.
  std::vector<int> earlier;
  bool listed = false;
  services.Get<Threads>().RunOnUiThread([&] {
    earlier = state.stoppedWorkers;
    listed = true;
  });
  if (!listed) return;
  for (int worker : earlier)
    while (services.Get<Threads>().IsThreadRunning(worker))
      if (!services.Get<Threads>().Delay(5) || pieces.StopRequested()) return;

  const Text text = services.Get<WindowControls>().GetProperty(kEditor, Property::Content).AsText();
  reading.player.SetMasterVolume(0.99f);
  PiecePipeline::Outcome outcome;
  {
    PlayedPieces played(reading, pieces, text);
    outcome = pieces.Run(text, played, PiecePipeline::Silence::SpeakWhole);
  }
  if (outcome == PiecePipeline::Outcome::Stopped || pieces.StopRequested()) return;
  // Over (by itself or by a failure): the buttons say so, and a failure is told once
  // (unless a stop came first).
  bool over = false;
  services.Get<Threads>().RunOnUiThread([&] {
    over = true;
    state.worker = 0;
    state.stream = 0;
    state.started = false;
    state.pieces = nullptr;
    services.Get<WindowControls>().MarkText(kEditor, 0, 0);
    ShowButtons(services, Buttons::Idle);
  });
  if (over && outcome != PiecePipeline::Outcome::Finished)
    services.Get<Dialogs>().ShowMessageBox(
        Text(outcome == PiecePipeline::Outcome::OutletFailed ? "语音无法播放，朗读已停止。"
                                                             : "语音合成出错，朗读已停止。"),
        kMbOk | kMbIconExclamation, Text("语音"));
}
