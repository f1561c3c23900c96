#include "ScreenFreeze.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <vector>

FrozenScreen FreezeScreens() {
  struct Grab {
    QImage image;
    QPoint origin;  // in device pixels
  };
  FrozenScreen frozen;
  frozen.taken = QDateTime::currentDateTime();
  std::vector<Grab> grabs;
  QRect bounds;
  for (QScreen* screen : QGuiApplication::screens()) {
    const QPixmap pixmap = screen->grabWindow(0);
    if (pixmap.isNull()) continue;
    // Qt keeps a screen's device-pixel origin as its logical origin and scales only its
    // size, so the grab, which is in device pixels, starts at the logical top left.
    Grab grab{pixmap.toImage().convertToFormat(QImage::Format_RGB32), screen->geometry().topLeft()};
    grab.image.setDevicePixelRatio(1);
    bounds |= QRect(grab.origin, grab.image.size());
    frozen.area |= screen->geometry();
    grabs.push_back(std::move(grab));
  }
  if (grabs.empty()) return {};

  if (grabs.size() == 1 && grabs.front().origin == bounds.topLeft()) {
    frozen.picture = std::move(grabs.front().image);  // the usual case: no second copy
    return frozen;
  }
  frozen.picture = QImage(bounds.size(), QImage::Format_RGB32);
  if (frozen.picture.isNull()) return {};
  frozen.picture.fill(Qt::black);  // gaps between screens of different sizes
  QPainter painter(&frozen.picture);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  for (const Grab& grab : grabs) painter.drawImage(grab.origin - bounds.topLeft(), grab.image);
  return frozen;
}
