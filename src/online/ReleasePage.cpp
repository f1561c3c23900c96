#include "online/ReleasePage.h"

#include "framework/TextOperations.h"

namespace {
constexpr const char* kVersion = "V6.3";
}  // namespace

bool ReleasePageNamesThisVersion(const ByteBuffer& page) {
  return FindText(ToText(Value(page)), kVersion, 1, true) > -1;
}
