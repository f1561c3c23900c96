#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "framework/AudioFiles.h"
#include "framework/FileProblem.h"
#include "framework/FileSystem.h"
#include "framework/Libraries.h"
#include "framework/Processes.h"
#include "framework/Settings.h"
#include "framework/Threads.h"
#include "framework/Uses.h"
#include "speech/PiecePipeline.h"
#include "speech/SpeechSession.h"
#include "speech/SubtitleCues.h"

enum class NarrationOutcome { Written, Cancelled, NothingToRead, Failed, Unwritable };

// The cues as the subtitle file the name asks for: WebVTT (.vtt), LRC (.lrc), else
// SubRip; UTF-8.
ByteBuffer SubtitleBytes(const Text& subtitlePath, const std::vector<NarrationCue>& cues);

// NAME.wav (or .flac, .ogg, .opus, .mp3) -> NAME.srt; any other name gets .srt added.
Text SubtitlePathFor(const Text& audioPath);
// Whether the name asks for an audio format the export writes.
bool HasAudioExtension(const Text& path);

// Writes the narration through the pipeline, on the calling thread: the audio as it is
// made to a temporary file beside audioPath (memory stays flat however long the script),
// then the subtitles, then the audio takes its name. Nothing is left on a stop (Cancelled)
// or a failure, and a failed subtitle write takes the audio with it. Unwritable, before
// any synthesis, when the audio file cannot be made.
NarrationOutcome ExportNarration(Uses<FileSystem, AudioFiles> services, PiecePipeline& pieces,
                                 const Text& script, const Text& audioPath,
                                 const Text& subtitlePath);

// An export under way: its engine session and its pipeline, shared by its worker and by
// whoever watches it (a stop at exit goes through pieces).
struct NarrationJob {
  explicit NarrationJob(Uses<FileSystem, Threads, Settings, Libraries, Processes> services)
      : speech(services), pieces(services, speech) {}
  SpeechSession speech;  // a session of its own: a reading under way keeps its session
  PiecePipeline pieces;
  FileProblem problem = FileProblem::None;  // why a file step failed, set before ended
  std::atomic<bool> ended{false};           // the worker has returned
};

// Runs ExportNarration on a worker thread while the calling thread waits with events (the
// window stays responsive): watch(percent done) is asked every 50 ms once synthesis has
// begun, and false from it stops the export. Returns once the worker has ended, and so
// has removed what it wrote when it did not finish.
NarrationOutcome ExportNarrationOnWorker(Uses<FileSystem, Threads, AudioFiles> services,
                                         const std::shared_ptr<NarrationJob>& job,
                                         const Text& script, const Text& audioPath,
                                         const Text& subtitlePath,
                                         const std::function<bool(int percent)>& watch);
