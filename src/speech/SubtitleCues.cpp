#include "speech/SubtitleCues.h"

#include <algorithm>
#include <string_view>

#include "framework/TextOperations.h"

namespace {

bool IsOneOf(std::string_view c, std::initializer_list<const char*> set) {
  return std::any_of(set.begin(), set.end(), [&](const char* item) { return c == item; });
}
bool IsWhiteSpace(std::string_view c) {
  return (c.size() == 1 && (static_cast<unsigned char>(c[0]) <= 0x20 || c[0] == 0x7F)) || c == "　";
}
// Marks after which a cue or a line is best cut.
bool IsClauseMark(std::string_view c) {
  return IsOneOf(c, {"，", "、", "；", "：", "。", "！", "？", "…",  "—",  ",",  ";",
                     ":",  ".",  "!",  "?",  "”",  "’",  "」", "』", "）", "》", "】"});
}
// No line starts with these ...
bool IsClosing(std::string_view c) {
  return IsOneOf(c, {"，", "、", "；", "：", "。", "！", "？", "…", "—", "”", "’", "」", "』", "）",
                     "》", "】", "·",  ",",  ".",  ";",  ":",  "!", "?", ")", "]", "}",  "%"});
}
// ... and none ends with these.
bool IsOpening(std::string_view c) {
  return IsOneOf(c, {"“", "‘", "「", "『", "（", "《", "【", "(", "[", "{"});
}

// What a cue is made of: a run of ASCII without spaces (a word, a number, a URL, a bit of
// code) or one wide character (a run of dashes or ellipses stays whole).
struct Atom {
  std::size_t begin = 0;
  std::size_t end = 0;
  int width = 0;  // columns
  bool spaceBefore = false;
  bool opening = false;
  bool closing = false;
  bool endsClause = false;
  std::size_t clause = 0;  // index into the heard clauses
  std::int64_t start = 0;  // first sample, shared out over the clause by width
  std::int64_t stop = 0;
};

class Layout {
 public:
  Layout(const Text& script, const std::vector<HeardClause>& clauses, const CueLimits& limits)
      : script_(script), clauses_(clauses), limits_(limits) {}

  std::vector<NarrationCue> Run() {
    if (clauses_.empty()) return {};
    SplitIntoAtoms();
    PlaceInTime();
    for (std::size_t i = 0; i < atoms_.size();) {
      const std::size_t end = CueEnd(i);
      AddCue(i, end);
      i = end;
    }
    // Nothing gave any sound: the text still shows, for no time.
    if (!pendingSilent_.empty()) cues_.push_back({0, 0, pendingSilent_});
    return std::move(cues_);
  }

 private:
  std::string_view At(std::size_t i) const {
    return std::string_view(script_).substr(i, CharacterLengthAt(script_, i));
  }
  std::string_view Last(const Atom& atom) const {
    std::size_t i = atom.begin;
    while (i + At(i).size() < atom.end) i += At(i).size();
    return At(i);
  }

  void SplitIntoAtoms() {
    bool space = false;
    std::size_t clause = 0;
    for (std::size_t i = 0; i < script_.size();) {
      const std::string_view c = At(i);
      if (IsWhiteSpace(c)) {
        space = true;
        i += c.size();
        continue;
      }
      Atom atom;
      atom.begin = i;
      i += c.size();
      if (c.size() == 1) {
        while (i < script_.size() && At(i).size() == 1 && !IsWhiteSpace(At(i))) ++i;
      } else if (c == "—" || c == "…") {
        while (i < script_.size() && At(i) == c) i += c.size();
      }
      atom.end = i;
      atom.width = c.size() == 1 ? static_cast<int>(i - atom.begin) : 2;
      // "word ，": the mark belongs to the word, as it would in print.
      atom.spaceBefore = space && !atoms_.empty() && !(c.size() > 1 && IsClosing(c));
      atom.opening = IsOpening(Last(atom));
      atom.closing = IsClosing(c);
      atom.endsClause = IsClauseMark(Last(atom));
      while (clause + 1 < clauses_.size() && clauses_[clause + 1].textBegin <= atom.begin) ++clause;
      atom.clause = clause;
      atoms_.push_back(atom);
      space = false;
    }
  }

  // How long an atom takes to say, roughly: a Chinese character about as long as four
  // Latin letters.
  static int Weight(const Atom& atom) {
    return atom.end - atom.begin == static_cast<std::size_t>(atom.width) ? atom.width
                                                                         : 2 * atom.width;
  }

  // Each clause's audio is shared among its atoms by their weights.
  void PlaceInTime() {
    for (std::size_t first = 0; first < atoms_.size();) {
      std::size_t end = first;
      int total = 0;
      while (end < atoms_.size() && atoms_[end].clause == atoms_[first].clause)
        total += Weight(atoms_[end++]);
      const HeardClause& heard = clauses_[atoms_[first].clause];
      const std::int64_t length = heard.endSample - heard.firstSample;
      int before = 0;
      for (std::size_t a = first; a < end; ++a) {
        atoms_[a].start = heard.firstSample + length * before / total;
        before += Weight(atoms_[a]);
        atoms_[a].stop = heard.firstSample + length * before / total;
      }
      first = end;
    }
  }

  int Sentence(std::size_t a) const { return clauses_[atoms_[a].clause].sentence; }
  bool CanBreakBefore(std::size_t a) const {
    return atoms_[a].spaceBefore || (!atoms_[a].closing && !atoms_[a - 1].opening);
  }
  bool IsClauseBreak(std::size_t a) const {
    return atoms_[a - 1].endsClause || atoms_[a - 1].clause != atoms_[a].clause;
  }
  // Columns of atoms [from, to) on one line.
  int Width(std::size_t from, std::size_t to) const {
    int width = 0;
    for (std::size_t a = from; a < to; ++a)
      width += atoms_[a].width + (a > from && atoms_[a].spaceBefore);
    return width;
  }

  // A word wider than a line (a long URL) gets a line of its own.
  bool LineFits(std::size_t from, std::size_t to) const {
    return to == from + 1 || Width(from, to) <= limits_.lineColumns;
  }

  // Where a cue of atoms [from, to) goes to its second line: `to` when it fits on one,
  // 0 when it fits on no two. A clause mark is preferred, then the most even pair.
  std::size_t SecondLine(std::size_t from, std::size_t to) const {
    if (LineFits(from, to)) return to;
    std::size_t best = 0;
    int bestScore = 0;
    for (std::size_t m = from + 1; m < to; ++m) {
      if (!CanBreakBefore(m)) continue;
      if (!LineFits(from, m) || !LineFits(m, to)) continue;
      const int left = Width(from, m);
      const int right = Width(m, to);
      const int score = (IsClauseBreak(m) ? 1000 : 0) - std::abs(left - right);
      if (best == 0 || score > bestScore) {
        best = m;
        bestScore = score;
      }
    }
    return best;
  }

  bool Fits(std::size_t from, std::size_t to) const {
    return atoms_[to - 1].stop - atoms_[from].start <= limits_.longestSamples &&
           SecondLine(from, to) != 0;
  }

  // The end of the cue that starts at atom `from`.
  std::size_t CueEnd(std::size_t from) const {
    std::size_t clauseCut = 0;
    std::size_t wordCut = 0;
    for (std::size_t to = from + 1;; ++to) {
      const bool sentenceEnds = to == atoms_.size() || Sentence(to) != Sentence(from);
      if (!sentenceEnds && !CanBreakBefore(to)) continue;
      if (wordCut != 0 && !Fits(from, to)) {
        // Cut at a clause mark unless that leaves the cue less than half as wide.
        if (clauseCut != 0 && 2 * Width(from, clauseCut) >= Width(from, wordCut)) return clauseCut;
        return wordCut;
      }
      if (sentenceEnds) return to;
      wordCut = to;
      if (IsClauseBreak(to)) clauseCut = to;
    }
  }

  void AddCue(std::size_t from, std::size_t to) {
    const std::size_t second = SecondLine(from, to);
    Text text;
    for (std::size_t a = from; a < to; ++a) {
      if (a == second)
        text += '\n';
      else if (a > from && atoms_[a].spaceBefore)
        text += ' ';
      text.append(script_, atoms_[a].begin, atoms_[a].end - atoms_[a].begin);
    }
    const std::int64_t first = atoms_[from].start;
    const std::int64_t end = atoms_[to - 1].stop;
    // A stretch that gave no sound shows with the cue before it (or after, at the start).
    if (end <= first && !cues_.empty()) {
      cues_.back().text += (atoms_[from].spaceBefore ? " " : "") + text;
      return;
    }
    if (pendingSilent_.empty() || end <= first) {
      if (end <= first) {
        pendingSilent_ += text;
        return;
      }
    } else {
      text = pendingSilent_ + text;
      pendingSilent_.clear();
    }
    cues_.push_back({first, end, text});
  }

  const Text& script_;
  const std::vector<HeardClause>& clauses_;
  const CueLimits limits_;
  std::vector<Atom> atoms_;
  std::vector<NarrationCue> cues_;
  Text pendingSilent_;  // soundless text before the first cue
};

}  // namespace

std::vector<NarrationCue> LayOutCues(const Text& script, const std::vector<HeardClause>& clauses,
                                     const CueLimits& limits) {
  return Layout(script, clauses, limits).Run();
}
