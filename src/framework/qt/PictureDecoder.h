#pragma once

#include <QImage>

#include "framework/Types.h"

// Decodes a picture property's bytes: JPEG through our libjpeg decoder, anything else (BMP, GIF
// ...) through Qt's image readers. Empty or undecodable bytes give a null image.
QImage DecodePicture(const ByteBuffer& bytes);
