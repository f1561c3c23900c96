// The logo picture's decoding (JPEG through libjpeg, BMP and GIF through Qt) over any
// bytes: a null image or a real one, and never more heap than the picture itself may take
// (Qt's allocation limit) plus as much again for the decoder's work.
#include <sanitizer/allocator_interface.h>

#include <QImageReader>
#include <algorithm>
#include <cstdlib>

#include "framework/qt/PictureDecoder.h"

namespace {

std::size_t peak = 0;

void NoteAllocation(const volatile void*, std::size_t) {
  peak = std::max(peak, __sanitizer_get_current_allocated_bytes());
}

void NoteFree(const volatile void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int hooked = __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteFree);
  static const std::size_t bound =
      2 * std::size_t(QImageReader::allocationLimit()) * 1024 * 1024 + (32 << 20);
  if (!hooked) std::abort();
  const ByteBuffer bytes(data, data + size);
  const std::size_t before = __sanitizer_get_current_allocated_bytes();
  peak = before;
  const QImage image = DecodePicture(bytes);
  if (peak - before > bound) std::abort();
  if (!image.isNull() && (image.width() <= 0 || image.height() <= 0)) std::abort();
  return 0;
}
