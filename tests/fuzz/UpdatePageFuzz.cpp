// The update check's search of the release page, over any page bytes.
#include <algorithm>
#include <cstdlib>

#include "online/ReleasePage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteBuffer page(data, data + size);
  const bool named = ReleasePageNamesThisVersion(page);
  // Whatever comes before it, the version after a line break is found, unless a zero
  // byte ends the page's text earlier.
  const std::string tail = "\nv6.3";
  page.insert(page.end(), tail.begin(), tail.end());
  const bool zero = std::find(data, data + size, 0) != data + size;
  if (!zero && !ReleasePageNamesThisVersion(page)) std::abort();
  // A page that named it still does with more after it.
  if (named && !ReleasePageNamesThisVersion(page)) std::abort();
  return 0;
}
