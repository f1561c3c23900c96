#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "framework/RuntimeServices.h"
#include "speech/SpeechSession.h"
#include "speech/SubtitleCues.h"

struct Narration {
  ByteBuffer pcm;  // 16 kHz mono 16-bit
  std::vector<NarrationCue> cues;
};

enum class NarrationOutcome { Written, Cancelled, NothingToRead, Failed };

// Told how many bytes of the script have been synthesised; false cancels.
using NarrationProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Synthesises the script clause by clause with the reading voice; the cues are laid out
// over the clauses heard (LayOutCues).
NarrationOutcome SynthesizeNarration(SpeechSession& speech, const Text& script,
                                     const NarrationProgress& progress, Narration& narration);

// The cues as a SubRip file, UTF-8.
ByteBuffer SubRipBytes(const std::vector<NarrationCue>& cues);

// NAME.wav -> NAME.srt (any other name gets .srt added).
Text SubtitlePathFor(const Text& wavePath);

// Writes wavePath and its subtitle file, each through a temporary file that takes its
// name only when complete; nothing is written on cancel or failure of synthesis.
NarrationOutcome ExportNarration(RuntimeServices& services, SpeechSession& speech,
                                 const Text& script, const Text& wavePath,
                                 const NarrationProgress& progress);
