#pragma once

#include <vector>

#include "framework/FileSystem.h"
#include "framework/Types.h"

// The user's pronunciation list: how written words are to be said. Applied to what the
// engine is given (reading, export), never to the editor's text or the subtitles.
//
// One rule a line, `written => spoken`; `#` starts a comment. A Latin written form
// matches whole words whatever their case; any other matches wherever it stands;
// `/regular expression/ => spoken` matches the pattern (ECMAScript, case-insensitive).
struct Pronunciations {
  struct Rule {
    Text written;  // GB18030 like the script; for a pattern its UTF-8 source
    Text spoken;
    bool pattern = false;
  };
  std::vector<Rule> rules;
  std::vector<Text> problems;  // "第 N 行：..." for each line left out

  bool empty() const { return rules.empty(); }
};

// The list from its file's bytes (UTF-8).
Pronunciations ParsePronunciations(const ByteBuffer& utf8);

// The text with every rule applied in order.
Text Pronounce(const Pronunciations& list, const Text& text);

// $XDG_CONFIG_HOME/orvane-notepad/pronunciations.txt
Text PronunciationsPath(FileSystem& files);
// The list in that file; empty when there is none.
Pronunciations LoadPronunciations(FileSystem& files);
