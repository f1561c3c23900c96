#include "speech/ScriptClauses.h"

#include <cctype>
#include <string_view>

#include "framework/TextOperations.h"

namespace {

// Longest run read as one piece, in estimated milliseconds of speech: a Chinese
// character takes about 300 ms at the reading speed, a Latin letter about 65.
constexpr int kLongestClauseMs = 5000;
int SpeakingMs(std::string_view c) { return c.size() == 1 ? 65 : 300; }

bool IsOneOf(std::string_view character, std::initializer_list<const char*> set) {
  for (const char* item : set)
    if (character == item) return true;
  return false;
}

bool EndsSentence(std::string_view c) { return IsOneOf(c, {"。", "！", "？", "!", "?", "…"}); }
bool EndsClause(std::string_view c) {
  return IsOneOf(c, {"，", "、", "；", "：", ",", ";", ":", "—"});
}
// Kept with the sentence or clause they close.
bool Closes(std::string_view c) {
  return IsOneOf(c, {"”", "’", "」", "』", "）", "》", "】", "\"", "'", ")", "]"});
}
bool IsLineBreak(std::string_view c) { return c == "\r" || c == "\n"; }
bool IsSpace(std::string_view c) { return c == " " || c == "\t" || c == "　"; }

// Something espeak-ng will say: a letter, a digit or a character beyond ASCII that is
// not punctuation of its own.
bool IsSpoken(std::string_view c) {
  if (c.size() == 1) return std::isalnum(static_cast<unsigned char>(c[0])) != 0;
  return !EndsSentence(c) && !EndsClause(c) && !Closes(c) && !IsSpace(c) &&
         !IsOneOf(c, {"“", "‘", "「", "『", "（", "《", "【", "·"});
}

class Splitter {
 public:
  explicit Splitter(const Text& script) : script_(script) {}

  std::vector<ScriptClause> Run() {
    std::size_t i = 0;
    while (i < script_.size()) {
      const std::string_view c = At(i);
      i += c.size();
      if (IsLineBreak(c)) {
        Cut(i, true);
        continue;
      }
      if (IsSpoken(c)) spoken_ = true;
      spokenMs_ += SpeakingMs(c);
      const bool sentenceEnd =
          EndsSentence(c) ||
          (c == "." && (i >= script_.size() || IsSpace(At(i)) || IsLineBreak(At(i))));
      if (sentenceEnd || EndsClause(c)) {
        // A dash is doubled ("——"): both halves end the clause.
        while (i < script_.size() &&
               (Closes(At(i)) || EndsSentence(At(i)) || (c == "—" && At(i) == c)))
          i += At(i).size();
        Cut(i, sentenceEnd);
      } else if (spokenMs_ >= kLongestClauseMs) {
        CutLongRun(i);
      }
    }
    Cut(script_.size(), true);
    return std::move(clauses_);
  }

 private:
  std::string_view At(std::size_t i) const {
    return std::string_view(script_).substr(i, CharacterLengthAt(script_, i));
  }

  void Cut(std::size_t end, bool sentenceEnds) {
    if (spoken_) {
      clauses_.push_back({begin_, end, sentence_});
      if (sentenceEnds) ++sentence_;
    } else if (sentenceEnds && !clauses_.empty() && clauses_.back().sentence == sentence_) {
      ++sentence_;
    }
    begin_ = end;
    spoken_ = false;
    spokenMs_ = 0;
  }

  // At the last space of the run past its first half (never inside a word), else here.
  void CutLongRun(std::size_t i) {
    std::size_t cut = i;
    int ms = 0;
    for (std::size_t j = begin_; j < i; j += At(j).size()) {
      ms += SpeakingMs(At(j));
      if (IsSpace(At(j)) && ms > kLongestClauseMs / 2) cut = j + At(j).size();
    }
    bool restSpoken = false;
    int restMs = 0;
    for (std::size_t j = cut; j < i; j += At(j).size()) {
      restSpoken |= IsSpoken(At(j));
      restMs += SpeakingMs(At(j));
    }
    Cut(cut, false);
    spoken_ = restSpoken;
    spokenMs_ = restMs;
  }

  const Text& script_;
  std::vector<ScriptClause> clauses_;
  std::size_t begin_ = 0;
  int sentence_ = 0;
  bool spoken_ = false;
  int spokenMs_ = 0;
};

}  // namespace

std::vector<ScriptClause> SplitIntoClauses(const Text& script) { return Splitter(script).Run(); }
