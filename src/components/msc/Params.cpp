#include "Params.h"

#include <charconv>

namespace msc {

namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<Params> ParseParams(std::string_view text) {
  Params params;
  while (!text.empty()) {
    const auto comma = text.find(',');
    const std::string_view element = Trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (element.empty()) continue;
    const auto equals = element.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view key = Trim(element.substr(0, equals));
    if (key.empty()) return std::nullopt;
    params.insert_or_assign(std::string(key), std::string(Trim(element.substr(equals + 1))));
  }
  return params;
}

std::optional<long> ParseInteger(std::string_view text, long low, long high) {
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < low || value > high)
    return std::nullopt;
  return value;
}

}  // namespace msc
