#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include "CameraDll.h"
#include "CaptureOverlay.h"
#include "PortalScreenshot.h"
#include "ScreenFreeze.h"

extern "C" int CameraSubArea(int window) {
  // Widgets need the host's QApplication and its GUI thread; without them there is
  // nothing to show the capture with.
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (app == nullptr || QThread::currentThread() != app->thread()) return 0;

  // The capture's own event loop could deliver a second call (a hot key, a timer): one
  // overlay at a time.
  static bool running = false;
  if (running) return 0;
  running = true;
  struct Reset {
    ~Reset() { running = false; }
  } reset;

  // An open pop-up menu holds the pointer and would keep it from the overlay.
  while (QWidget* popup = QApplication::activePopupWidget()) popup->close();

  QWidget* owner = QWidget::find(static_cast<WId>(static_cast<quint32>(window)));
  if (owner != nullptr) owner = owner->window();

  // On Wayland no program may read the screen: the desktop's portal gives the picture, of
  // the output our window is on, and the overlay covers that output.
  const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
  QString failure;
  QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
  FrozenScreen frozen = wayland ? FreezeThroughPortal(screen, failure) : FreezeScreens();
  if (frozen.picture.isNull()) {
    if (!failure.isEmpty()) QMessageBox::warning(owner, QStringLiteral("截图"), failure);
    return 0;
  }

  QEventLoop loop;
  CaptureOverlay overlay(std::move(frozen), owner, wayland, [&loop] { loop.quit(); });
  overlay.Start();
  loop.exec();  // also left when the application quits; the result is then 0

  if (owner != nullptr && owner->isVisible()) owner->activateWindow();
  return overlay.Result();
}
