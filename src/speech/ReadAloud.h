#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/AudioPlayer.h"
#include "framework/Dialogs.h"
#include "framework/Uses.h"
#include "framework/WindowControls.h"
#include "speech/PiecePipeline.h"
#include "speech/SpeechSession.h"

// The read-aloud driver's state. Every change happens on the user-interface thread
// (the worker hands its changes over with RunOnUiThread), so the commands and the
// worker never race.
struct ReadAloudState {
  int worker = 0;                  // the running worker; 0 when no reading is under way
  AudioPlayer::Handle stream = 0;  // the current reading's stream; 0 before its audio
  // The current reading's pieces: its pause and stop requests, shared with its worker.
  std::shared_ptr<PiecePipeline> pieces;
  bool started = false;  // the current reading's stream has been played
  // Stopped workers that may still be finishing. The engine has one owner at a time:
  // a new worker waits until every one of them has ended.
  std::vector<int> stoppedWorkers;
  bool soundDevice = false;        // the audio library has opened the sound output
  bool noDeviceMessage = false;    // the message about a missing sound output is up
  bool highlight = true;           // the sentence being heard is marked in the editor
  AudioPlayer::Handle sample = 0;  // the voice settings' sample playing; a reading ends it
  int highlightChanges = 0;        // counts switches of highlight
};

// What the driver works with.
struct ReadAloud {
  Uses<WindowControls, Dialogs, FileSystem, Threads, Settings, Libraries, Processes> services;
  SpeechSession& speech;
  AudioPlayer& player;
  ReadAloudState& state;
};

// 按钮10 "语音" and Ctrl+A: starts a reading, or continues a paused one from where it
// was paused. Without a sound output (the device opened neither at start-up nor now)
// it says so once and the buttons stay idle.
void StartOrContinueReading(const ReadAloud& reading);
// 按钮11 "暂停" and Ctrl+Z. A pause before the audio has arrived holds the reading
// until continue.
void PauseReading(const ReadAloud& reading);
// 按钮12 "结束": at once no more sound of the reading, buttons idle. The worker ends
// at its next step; the next reading starts afresh.
void StopReading(const ReadAloud& reading);
// At exit: stops the reading and waits, boundedly, for every worker to be gone. False
// when one did not end in time (then the engine must not be finalised under it).
bool StopReadingForExit(const ReadAloud& reading);

// Whether the sentence being heard is marked, from the settings (on unless switched
// off), with the check mark of "朗读时标出句子".
void LoadReadingHighlight(const ReadAloud& reading);
// "朗读时标出句子": switches the mark off or on and remembers it.
void ToggleReadingHighlight(const ReadAloud& reading);

// Whether the reading is paused (and waits for continue).
bool IsReadingPaused(const ReadAloudState& state);

// The worker's routine: reads the editor once and has the pipeline speak it into a push
// stream that plays from the first piece on, until the end.
void ReadAloudWorker(const ReadAloud& reading, PiecePipeline& pieces);
