#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>

// Decodes a JPEG held in memory with libjpeg-turbo. Grayscale, colour and CMYK/YCCK files give an
// RGB image; damaged data gives a null image (never ends the process). Data cut short decodes as
// far as it goes, the rest padded as libjpeg pads it.
QImage DecodeJpeg(const std::uint8_t* data, std::size_t size);
