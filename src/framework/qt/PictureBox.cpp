#include "framework/qt/PictureBox.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>

#include "framework/qt/PictureDecoder.h"

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::SetPicture(const ByteBuffer& bytes) {
  bytes_ = bytes;
  image_ = DecodePicture(bytes_);
  update();
}

QRect PictureBox::DisplayRect(QSize image, QSize box) {
  if (image.isEmpty() || box.isEmpty()) return {};
  std::int64_t width = image.width();
  std::int64_t height = image.height();
  if (width > box.width() || height > box.height()) {
    // Integer cross-multiplication picks the tighter side without floating-point ties.
    if (width * box.height() >= height * box.width()) {
      height = std::max<std::int64_t>(1, (height * box.width() + width / 2) / width);
      width = box.width();
    } else {
      width = std::max<std::int64_t>(1, (width * box.height() + height / 2) / height);
      height = box.height();
    }
  }
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  return QRect((box.width() - w) / 2, (box.height() - h) / 2, w, h);
}

void PictureBox::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  const QRect target = DisplayRect(image_.size(), size());
  if (target.isEmpty()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, image_);
}
