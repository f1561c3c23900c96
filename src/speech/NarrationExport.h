#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "framework/RuntimeServices.h"
#include "speech/SpeechSession.h"
#include "speech/SubtitleCues.h"

enum class NarrationOutcome { Written, Cancelled, NothingToRead, Failed, Unwritable };

// Told how many bytes of the script have been synthesised; false cancels.
using NarrationProgress = std::function<bool(std::size_t done, std::size_t total)>;
// Takes a piece's PCM (16 kHz mono, 16-bit little-endian) as soon as it is made.
using NarrationPcm = std::function<bool(const std::uint8_t* pcm, std::size_t bytes)>;

// Synthesises the script clause by clause with the reading voice, handing every piece to
// onPcm (false from it fails the narration); the cues are laid out over the clauses
// heard (LayOutCues).
NarrationOutcome SynthesizeNarration(SpeechSession& speech, const Text& script,
                                     const NarrationProgress& progress, const NarrationPcm& onPcm,
                                     std::vector<NarrationCue>& cues);

// The cues as the subtitle file the name asks for: WebVTT (.vtt), LRC (.lrc), else
// SubRip; UTF-8.
ByteBuffer SubtitleBytes(const Text& subtitlePath, const std::vector<NarrationCue>& cues);

// NAME.wav (or .flac, .ogg, .opus, .mp3) -> NAME.srt; any other name gets .srt added.
Text SubtitlePathFor(const Text& audioPath);
// Whether the name asks for an audio format the export writes.
bool HasAudioExtension(const Text& path);

// Writes the audio as it is made to a temporary file beside audioPath (memory stays flat
// however long the script), then the subtitles, then gives the audio its name: nothing
// is left on cancel or failure, and a failed subtitle write takes the audio with it.
// Unwritable, before any synthesis, when the audio file cannot be made.
NarrationOutcome ExportNarration(RuntimeServices& services, SpeechSession& speech,
                                 const Text& script, const Text& audioPath,
                                 const Text& subtitlePath, const NarrationProgress& progress);
