#include "speech/ReadAloud.h"

#include <string_view>

#include "speech/PieceSynthesis.h"
#include "speech/SpokenScript.h"

namespace {

enum class Buttons { Idle, Reading, Paused };

void ShowButtons(RuntimeServices& services, Buttons buttons) {
  services.SetProperty(Control::按钮10, Property::Disabled, buttons == Buttons::Reading);
  services.SetProperty(Control::按钮11, Property::Disabled, buttons != Buttons::Reading);
  services.SetProperty(Control::按钮12, Property::Disabled, buttons == Buttons::Idle);
}

// Often enough that the marked sentence changes with the voice.
constexpr int kPlaybackCheckMilliseconds = 50;
// The engine's PCM: 16 kHz mono 16-bit.
constexpr int kSpeechRate = 16000;
constexpr std::int64_t kBytesPerSecond = 2 * kSpeechRate;
// Synthesis stays at most this far ahead of what has been heard, so a reading holds a
// few hundred kilobytes whatever the script's length. A clause takes far less than
// this to make even on a busy machine, so the voice never waits for the next one.
constexpr std::int64_t kAheadBytes = 15 * kBytesPerSecond;
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
void MarkSentence(RuntimeServices& services, const Text& script,
                  const std::vector<SpokenSentence>& sentences, int index) {
  if (index < 0 || index >= static_cast<int>(sentences.size()))
    return services.MarkText(kEditor, 0, 0);
  const SpokenSentence& heard = sentences[index];
  const std::string_view sentence =
      std::string_view(script).substr(heard.textBegin, heard.textEnd - heard.textBegin);
  const Text now = services.GetProperty(kEditor, Property::Content).AsText();
  const std::size_t at = SentenceNow(now, sentence, heard.textBegin);
  if (at == Text::npos) return services.MarkText(kEditor, 0, 0);
  services.MarkText(kEditor, static_cast<int>(at), static_cast<int>(sentence.size()));
}

// A device that could not be opened at start-up may have come since (a headset plugged in).
bool SoundDeviceReady(const ReadAloud& reading) {
  ReadAloudState& state = reading.state;
  if (!state.soundDevice) state.soundDevice = reading.player.InitDevice();
  if (state.soundDevice) return true;
  // Ctrl+A pressed again while the message is up adds no second one.
  if (!state.noDeviceMessage) {
    state.noDeviceMessage = true;
    reading.services.ShowMessageBox(Text("没有找到可用的声音输出设备，无法朗读。"),
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
    state.paused = 0;
    std::erase_if(state.stoppedWorkers,
                  [&](int worker) { return !reading.services.IsThreadRunning(worker); });
    int handle = 0;
    const ReadAloud copy = reading;
    if (!reading.services.StartThread([copy](int) { ReadAloudWorker(copy); }, 0, &handle))
      handle = 0;
    state.worker = handle;
  } else if (state.paused == 1) {
    // Continue where the pause left off; a pause during synthesis just lets the audio
    // play when it arrives.
    if (state.stream != 0) {
      // Without restart the push stream goes on from where it was paused, so nothing
      // that was heard is heard twice (its position cannot be set).
      reading.player.Play(state.stream, false);
      state.started = true;
    }
    state.paused = 0;
  }
  ShowButtons(reading.services, Buttons::Reading);
}

void PauseReading(const ReadAloud& reading) {
  ReadAloudState& state = reading.state;
  // With nothing being read there is nothing to pause: 结束 stays disabled.
  if (state.worker <= 0) return;
  if (state.stream != 0) reading.player.Pause(state.stream);
  state.paused = 1;
  ShowButtons(reading.services, Buttons::Paused);
}

void StopReading(const ReadAloud& reading) {
  ReadAloudState& state = reading.state;
  if (state.worker > 0 && reading.services.KillThread(state.worker)) {
    // The worker's own requests change nothing from here on; it leaves at its next step.
    state.stoppedWorkers.push_back(state.worker);
    state.worker = 0;
    if (state.stream != 0) reading.player.Stop(state.stream);
  }
  state.paused = 0;
  reading.services.MarkText(kEditor, 0, 0);
  ShowButtons(reading.services, Buttons::Idle);
}

void LoadReadingHighlight(const ReadAloud& reading) {
  reading.state.highlight = reading.services.GetSetting(kHighlightSetting) != "false";
  reading.services.SetMenuItemChecked(MenuItem::朗读时标出句子, reading.state.highlight);
}

void ToggleReadingHighlight(const ReadAloud& reading) {
  ReadAloudState& state = reading.state;
  state.highlight = !state.highlight;
  ++state.highlightChanges;
  reading.services.SetSetting(kHighlightSetting, state.highlight ? "true" : "false");
  reading.services.SetMenuItemChecked(MenuItem::朗读时标出句子, state.highlight);
  // Switched on, the reading marks its sentence at its next look.
  if (!state.highlight) reading.services.MarkText(kEditor, 0, 0);
}

bool StopReadingForExit(const ReadAloud& reading) {
  StopReading(reading);
  RuntimeServices& services = reading.services;
  const auto running = [&] {
    for (int worker : reading.state.stoppedWorkers)
      if (services.IsThreadRunning(worker)) return true;
    return false;
  };
  for (int waited = 0; running(); waited += 10) {
    if (waited >= 3000) return false;
    services.DelayWithEvents(10);
  }
  return true;
}

ByteBuffer SynthesizeText(const ReadAloud& reading, const Text& text) {
  RuntimeServices& services = reading.services;
  // A stop is looked for between chunks, so it never waits for a long synthesis.
  return SynthesizePiece(reading.speech, text, [&services] { return services.ProcessEvents(); });
}

void ReadAloudWorker(const ReadAloud& reading) {
  RuntimeServices& services = reading.services;
  ReadAloudState& state = reading.state;
  AudioPlayer& player = reading.player;

  // Stopped readings' workers may still be leaving the engine: one owner at a time.
  // Every worker stopped before this one started is in the list, so waiting for them
  // all keeps the chain whatever was started and stopped in between; a worker that
  // could not take the list (it was stopped already) never goes near the engine.
  std::vector<int> earlier;
  bool listed = false;
  services.RunOnUiThread([&] {
    earlier = state.stoppedWorkers;
    listed = true;
  });
  if (!listed) return;
  for (int worker : earlier)
    while (services.IsThreadRunning(worker))
      if (!services.Delay(5)) return;

  const Text text = services.GetProperty(kEditor, Property::Content).AsText();
  player.SetMasterVolume(0.99f);
  std::vector<SpokenSentence> sentences;
  AudioPlayer::Handle stream = 0;

  // Marks the sentence being heard at that position of the stream; a paused stream keeps
  // its place, and so its mark. Whether the stream has been played.
  int marked = -1;
  int seenChanges = 0;
  const auto follow = [&](std::int64_t heard) {
    bool started = false;
    bool highlight = false;
    services.RunOnUiThread([&] {
      started = state.started;
      highlight = state.highlight;
      // Switched off and on again between two looks: the mark has gone, so put it back.
      if (seenChanges != state.highlightChanges) marked = -2;
      seenChanges = state.highlightChanges;
    });
    const int sentence = started && highlight ? SentenceAt(sentences, heard) : -1;
    if (sentence != marked) {
      services.RunOnUiThread([&] { MarkSentence(services, text, sentences, sentence); });
      marked = sentence;
    }
    return started;
  };

  // Clause by clause into a push stream: the first piece plays while the next ones are
  // made, and the reading knows where each sentence is in its audio.
  std::int64_t pushed = 0;
  bool audioFailed = false;  // else a false from SpeakScript is the engine's, or a stop
  const auto playPiece = [&](const std::uint8_t* pcm, std::size_t bytes) {
    if (stream == 0) {
      if (!services.ProcessEvents()) return false;
      stream = player.CreatePushStream(kSpeechRate, 1);
      audioFailed = stream == 0 || player.PushData(stream, pcm, bytes, false) < 0;
      if (audioFailed) return false;
      services.RunOnUiThread([&] {
        state.stream = stream;
        // Paused before the audio arrived: it waits for continue.
        if (state.paused != 1) {
          player.Play(stream);
          state.started = true;
        }
      });
    } else if (player.PushData(stream, pcm, bytes, false) < 0) {
      audioFailed = true;
      return false;
    }
    pushed += static_cast<std::int64_t>(bytes);
    // The next piece waits until the voice has caught up; a paused reading keeps it
    // waiting, a stop ends the wait at once.
    for (;;) {
      const std::int64_t heard = player.GetPosition(stream);
      follow(heard);
      if (heard < 0) {
        audioFailed = true;
        return false;
      }
      if (pushed - heard <= kAheadBytes) return true;
      if (!services.DelayWithEvents(kPlaybackCheckMilliseconds)) return false;
    }
  };
  bool spoken = SpeakScript(
      reading.speech, text, [&services] { return services.ProcessEvents(); }, sentences, playPiece);
  bool stopped = !services.ProcessEvents();
  if (stopped) reading.speech.EndSession();  // the engine stops working for nobody
  if (spoken && !stopped) {
    audioFailed = player.PushData(stream, nullptr, 0, true) < 0;
    spoken = !audioFailed;
  }
  if (spoken && !stopped) {
    // Until the stream has played to its end; a paused or stalled stream counts as
    // active, and one paused before it began waits for continue.
    while (!(follow(player.GetPosition(stream)) && player.IsActive(stream) == 0))
      if (!services.DelayWithEvents(kPlaybackCheckMilliseconds)) break;
    stopped = !services.ProcessEvents();
  }
  // Freed at once: a failed piece ends the reading here, as a stop does.
  if (stream != 0) player.FreeStream(stream);
  if (stopped) return;
  // Over (by itself or by a failure): the buttons say so, and a failure is told once.
  services.RunOnUiThread([&] {
    state.worker = 0;
    state.stream = 0;
    state.started = false;
    state.paused = 0;
    services.MarkText(kEditor, 0, 0);
    ShowButtons(services, Buttons::Idle);
  });
  if (!spoken)
    services.ShowMessageBox(
        Text(audioFailed ? "语音无法播放，朗读已停止。" : "语音合成出错，朗读已停止。"),
        kMbOk | kMbIconExclamation, Text("语音"));
}
