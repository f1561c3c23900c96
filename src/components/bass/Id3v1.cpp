#include "Id3v1.h"

#include <cstring>

namespace bass {

std::optional<std::array<char, 129>> FindId3v1(ByteSource& source) {
  const std::int64_t size = source.Size();
  if (!source.Complete() || size < 128) return std::nullopt;
  std::array<char, 129> tag{};
  if (source.Read(size - 128, tag.data(), 128) != 128 || std::memcmp(tag.data(), "TAG", 3) != 0)
    return std::nullopt;
  return tag;
}

}  // namespace bass
