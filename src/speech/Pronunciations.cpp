#include "speech/Pronunciations.h"

#include <cctype>
#include <regex>
#include <string_view>

#include "framework/TextCodec.h"
#include "framework/TextOperations.h"

namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool IsWordByte(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }
bool IsLatin(const Text& written) {
  for (const char c : written)
    if (!IsWordByte(c) && c != ' ' && c != '.' && c != '-' && c != '+' && c != '#') return false;
  return true;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Whole Latin words, whatever their case; a match never starts inside a double-byte
// character (whose second byte can look like a letter).
Text ReplaceWords(const Text& text, const Text& written, const Text& spoken) {
  Text out;
  bool afterWord = false;  // the character before is a Latin letter, digit or '_'
  std::size_t i = 0;
  while (i < text.size()) {
    if (!afterWord && i + written.size() <= text.size() &&
        SameIgnoringCase(std::string_view(text).substr(i, written.size()), written) &&
        (i + written.size() == text.size() || !IsWordByte(text[i + written.size()]))) {
      out += spoken;
      i += written.size();
      afterWord = true;
      continue;
    }
    const auto length = static_cast<std::size_t>(CharacterLengthAt(text, i));
    afterWord = length == 1 && IsWordByte(text[i]);
    out.append(text, i, length);
    i += length;
  }
  return out;
}

Text ReplaceText(const Text& text, const Text& written, const Text& spoken) {
  Text out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, written.size(), written) == 0) {
      out += spoken;
      i += written.size();
      continue;
    }
    const auto length = static_cast<std::size_t>(CharacterLengthAt(text, i));
    out.append(text, i, length);
    i += length;
  }
  return out;
}

}  // namespace

Pronunciations ParsePronunciations(const ByteBuffer& utf8) {
  Pronunciations list;
  const std::string_view all(reinterpret_cast<const char*>(utf8.data()), utf8.size());
  std::size_t start = 0;
  for (int number = 1; start <= all.size(); ++number) {
    const std::size_t end = std::min(all.find('\n', start), all.size());
    std::string_view line = all.substr(start, end - start);
    start = end + 1;
    if (number == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const auto problem = [&](const char* what) {
      list.problems.push_back("第 " + std::to_string(number) + " 行：" + what);
    };
    const std::size_t arrow = line.find("=>");
    if (arrow == std::string_view::npos) {
      problem("缺少 =>");
      continue;
    }
    const std::string_view written = Trim(line.substr(0, arrow));
    std::string_view spoken = Trim(line.substr(arrow + 2));
    if (const auto comment = spoken.find(" #"); comment != std::string_view::npos)
      spoken = Trim(spoken.substr(0, comment));
    if (written.empty()) {
      problem("=> 前面没有文字");
      continue;
    }
    Pronunciations::Rule rule;
    rule.spoken = TextFromUtf8(spoken);
    if (written.size() >= 2 && written.front() == '/' && written.back() == '/') {
      rule.pattern = true;
      rule.written = Text(written.substr(1, written.size() - 2));
      try {
        std::regex check(rule.written, std::regex::ECMAScript | std::regex::icase);
      } catch (const std::regex_error&) {
        problem("正则表达式无效");
        continue;
      }
    } else {
      rule.written = TextFromUtf8(written);
    }
    list.rules.push_back(std::move(rule));
  }
  return list;
}

Text Pronounce(const Pronunciations& list, const Text& text) {
  Text out = text;
  for (const Pronunciations::Rule& rule : list.rules) {
    if (rule.pattern) {
      // Patterns are written in UTF-8 and matched against the UTF-8 text.
      try {
        const std::regex pattern(rule.written, std::regex::ECMAScript | std::regex::icase);
        out =
            TextFromUtf8(std::regex_replace(Utf8FromText(out), pattern, Utf8FromText(rule.spoken)));
      } catch (const std::regex_error&) {
      }
    } else if (IsLatin(rule.written)) {
      out = ReplaceWords(out, rule.written, rule.spoken);
    } else {
      out = ReplaceText(out, rule.written, rule.spoken);
    }
  }
  return out;
}

Text PronunciationsPath(FileSystem& files) {
  return files.ConfigDirectory() + "/pronunciations.txt";
}

Pronunciations LoadPronunciations(FileSystem& files) {
  if (files.ConfigDirectory().empty()) return {};
  const std::optional<ByteBuffer> bytes =
      files.ReadRegularFile(PronunciationsPath(files), 16u << 20);
  return bytes ? ParsePronunciations(*bytes) : Pronunciations();
}
