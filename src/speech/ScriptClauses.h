#pragma once

#include <cstddef>
#include <vector>

#include "framework/Types.h"

// A stretch of the script synthesised on its own: a clause (up to and including its
// punctuation), or a cut of an over-long clause. Pieces this small start sounding at
// once and tell, by the samples each one yields, where every sentence is in the audio.
struct ScriptClause {
  std::size_t begin = 0;  // byte offsets into the script, [begin, end)
  std::size_t end = 0;
  int sentence = 0;  // counts up from 0; clauses of one sentence share it
};

// The script's clauses in order. Sentences end at 。！？!? (with closing quotes and
// brackets), at a full stop followed by a space, and at line breaks; clauses also end
// at ，、；：,;: and a long run without any is cut at a space or between characters.
// Stretches holding nothing to speak (spaces, punctuation) are left out.
std::vector<ScriptClause> SplitIntoClauses(const Text& script);
