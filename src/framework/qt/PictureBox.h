#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QWidget>

#include "framework/Types.h"

// The main window's picture box: shows a JPEG, BMP or GIF centred, shrunk to fit when too large.
// It paints no background or border of its own, so the window's background shows around it.
class PictureBox : public QWidget {
 public:
  explicit PictureBox(QWidget* parent = nullptr);

  // Keeps the bytes and shows what they decode to; empty or undecodable bytes show nothing.
  void SetPicture(const ByteBuffer& bytes);
  // The bytes last set, as given, even when they did not decode.
  const ByteBuffer& Picture() const { return bytes_; }
  bool HasImage() const { return !image_.isNull(); }

  // Where an image of the given size is drawn in a box of the given size: natural size when it
  // fits, otherwise shrunk keeping proportions until it does; centred either way. Empty sizes
  // give an empty rectangle.
  static QRect DisplayRect(QSize image, QSize box);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ByteBuffer bytes_;
  QImage image_;
};
