#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/Types.h"

// A clause as it was heard: where it starts in the script and where it is in the audio.
struct HeardClause {
  std::size_t textBegin = 0;     // byte offset of the clause in the script
  std::int64_t firstSample = 0;  // [firstSample, endSample) of the audio
  std::int64_t endSample = 0;
  int sentence = 0;
};

// One subtitle: one or two lines of the script's words and when they are heard.
struct NarrationCue {
  std::int64_t firstSample = 0;  // [firstSample, endSample)
  std::int64_t endSample = 0;
  Text text;  // lines separated by '\n'
};

// Subtitle limits for Chinese video: a cue shows for at most about 7 s and holds at most
// two lines of 18 Chinese characters (36 columns; a Latin letter or digit takes one).
struct CueLimits {
  std::int64_t longestSamples = 7 * 16000;
  int lineColumns = 36;
};

// Lays the script out as cues, in order, over the clauses heard (in script order). Every
// character of the script except white space is in exactly one cue: what lies between
// clauses (marks that said nothing) goes with the clause before it. A sentence starts a
// new cue; a cue that would be too long or too wide is cut at a clause mark, else between
// words; never inside a Latin word, a number or a URL (a word wider than a line gets a
// line of its own). A clause cut across cues shares its audio by the width of its parts.
std::vector<NarrationCue> LayOutCues(const Text& script, const std::vector<HeardClause>& clauses,
                                     const CueLimits& limits = {});
