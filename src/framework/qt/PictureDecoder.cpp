#include "framework/qt/PictureDecoder.h"

#include <QByteArrayView>

#include "framework/qt/JpegDecoder.h"

QImage DecodePicture(const ByteBuffer& bytes) {
  if (bytes.empty()) return {};
  // SOI followed by the first marker's FF: every JPEG file starts this way.
  if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
    return DecodeJpeg(bytes.data(), bytes.size());
  }
  return QImage::fromData(
      QByteArrayView(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
}
