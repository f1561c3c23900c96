#include "framework/qt/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE declared first
#include <limits>

#include <QImageReader>

#include <jpeglib.h>

namespace {

// libjpeg's default error_exit prints and calls exit(); ours jumps back to the decoder instead.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Warnings (a file cut short, a corrupt segment) are accepted silently.
void DiscardMessage(j_common_ptr) {}

// Adobe applications write CMYK inverted (0 = full ink) and mark the file; others do not.
void CmykRowToRgbx(std::uint8_t* row, int width, bool inverted) {
  for (int x = 0; x < width; ++x, row += 4) {
    int c = row[0], m = row[1], y = row[2], k = row[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    row[0] = static_cast<std::uint8_t>(c * k / 255);
    row[1] = static_cast<std::uint8_t>(m * k / 255);
    row[2] = static_cast<std::uint8_t>(y * k / 255);
    row[3] = 255;
  }
}

// A header may claim up to 65500 x 65500 pixels in a few bytes; the limit Qt's own image readers
// use keeps such a file from taking gigabytes. 0: no limit.
std::uint64_t AllocationLimitBytes() {
  const int limit_mb = QImageReader::allocationLimit();
  return limit_mb <= 0 ? 0 : std::uint64_t(limit_mb) * 1024 * 1024;
}

bool WithinAllocationLimit(JDIMENSION width, JDIMENSION height) {
  const std::uint64_t limit = AllocationLimitBytes();
  return limit == 0 || std::uint64_t{width} * height * 4 <= limit;
}

// Everything libjpeg may longjmp out of happens here, with no local that needs a destructor:
// the image lives in the caller's frame. Returns false after a libjpeg error.
bool Decompress(jpeg_decompress_struct* info, ErrorManager* errors, const std::uint8_t* data,
                std::size_t size, QImage* image) {
  if (setjmp(errors->jump) != 0) return false;

  jpeg_create_decompress(info);
  // A progressive file keeps all its coefficients while it decodes: up to twice the picture's
  // own size for CMYK. libjpeg has no backing store here, so past this cap it stops with an
  // error instead of allocating.
  info->mem->max_memory_to_use = static_cast<long>(AllocationLimitBytes());
  jpeg_mem_src(info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return false;
  if (!WithinAllocationLimit(info->image_width, info->image_height)) return false;

  // libjpeg-turbo converts grey and YCbCr to RGB itself but not CMYK, so CMYK (and YCCK, which it
  // turns into CMYK) is read as four bytes a pixel and converted in place in the image's rows.
  const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBX;
  jpeg_start_decompress(info);

  *image = QImage(static_cast<int>(info->output_width), static_cast<int>(info->output_height),
                  QImage::Format_RGBX8888);
  if (image->isNull()) return false;  // too large to allocate

  while (info->output_scanline < info->output_height) {
    const int y = static_cast<int>(info->output_scanline);
    JSAMPROW row = image->scanLine(y);
    if (jpeg_read_scanlines(info, &row, 1) != 1) return false;
    if (cmyk) CmykRowToRgbx(row, image->width(), info->saw_Adobe_marker);
  }
  // jpeg_finish_decompress is skipped on purpose: it only reads what follows the image, and an
  // error there would throw away a picture that is already complete.
  return true;
}

}  // namespace

QImage DecodeJpeg(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0 || size > std::numeric_limits<unsigned long>::max()) {
    return {};
  }
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = JumpOnError;
  errors.base.output_message = DiscardMessage;

  QImage image;
  const bool ok = Decompress(&info, &errors, data, size, &image);
  jpeg_destroy_decompress(&info);  // safe even when creation itself failed: info starts zeroed
  return ok ? image : QImage();
}
