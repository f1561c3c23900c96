#include "aids/HotKeyText.h"

#include <cctype>
#include <string>
#include <vector>

namespace {

constexpr int kCtrl = 1, kShift = 2, kAlt = 4, kSuper = 8;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Qt's portable names of the keys the grabs can take, with their virtual-key codes.
int VirtualKeyNamed(const std::string& name) {
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
    return std::toupper(static_cast<unsigned char>(name[0]));
  const std::string lower = Lower(name);
  if (lower.size() >= 2 && lower[0] == 'f' &&
      lower.find_first_not_of("0123456789", 1) == std::string::npos && lower.size() <= 3) {
    const int number = std::stoi(lower.substr(1));
    if (number >= 1 && number <= 24) return 0x6F + number;
  }
  static const std::pair<const char*, int> kNamed[] = {
      {"space", 0x20}, {"tab", 0x09},    {"backspace", 0x08}, {"return", 0x0D}, {"enter", 0x0D},
      {"esc", 0x1B},   {"ins", 0x2D},    {"del", 0x2E},       {"home", 0x24},   {"end", 0x23},
      {"pgup", 0x21},  {"pgdown", 0x22}, {"left", 0x25},      {"up", 0x26},     {"right", 0x27},
      {"down", 0x28},  {"print", 0x2C},  {"pause", 0x13},
  };
  for (const auto& [named, code] : kNamed)
    if (lower == named) return code;
  return 0;
}

std::vector<std::string> Parts(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t plus = text.find('+', start);
    // "Ctrl++" names the plus key itself.
    if (plus == start && plus + 1 == text.size()) plus = std::string::npos;
    if (plus == std::string::npos) {
      parts.push_back(text.substr(start));
      break;
    }
    parts.push_back(text.substr(start, plus - start));
    start = plus + 1;
  }
  return parts;
}

}  // namespace

std::optional<KeyCombination> ParseHotKeyText(const Text& keys) {
  if (keys.empty()) return std::nullopt;
  const std::vector<std::string> parts = Parts(keys);
  KeyCombination combination;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::string modifier = Lower(parts[i]);
    int bit = 0;
    if (modifier == "ctrl") bit = kCtrl;
    if (modifier == "shift") bit = kShift;
    if (modifier == "alt") bit = kAlt;
    if (modifier == "meta") bit = kSuper;
    if (bit == 0 || (combination.modifiers & bit)) return std::nullopt;
    combination.modifiers |= bit;
  }
  combination.virtualKey = VirtualKeyNamed(parts.back());
  if (combination.virtualKey == 0) return std::nullopt;
  const bool functionKey = combination.virtualKey >= 0x70 && combination.virtualKey <= 0x87;
  // A plain or shifted key is what people type; taking it from every program is no hot key.
  if (!functionKey && (combination.modifiers & (kCtrl | kAlt | kSuper)) == 0) return std::nullopt;
  return combination;
}

Text HotKeyDisplayText(const Text& keys) {
  std::string shown;
  const std::vector<std::string> parts = Parts(keys);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) shown += '+';
    const bool modifier = i + 1 < parts.size();
    shown += modifier && Lower(parts[i]) == "meta" ? std::string("Super") : parts[i];
  }
  for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return shown;
}
