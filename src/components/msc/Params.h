#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace msc {

// A key=value list separated by commas. Keys are case-sensitive, as written by callers;
// a repeated key keeps its last value.
using Params = std::map<std::string, std::string, std::less<>>;

// Nothing when the list is malformed: an element without '=' or with an empty key.
std::optional<Params> ParseParams(std::string_view text);

// A whole decimal integer within [low, high], or nothing.
std::optional<long> ParseInteger(std::string_view text, long low, long high);

}  // namespace msc
