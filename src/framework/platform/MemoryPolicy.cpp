#include "framework/platform/MemoryPolicy.h"

#include <malloc.h>

namespace {
// Setting the threshold also stops glibc from moving it.
constexpr int kLargeBlockBytes = 1 << 20;
}  // namespace

void ReturnLargeBlocksToTheSystem() { ::mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes); }
