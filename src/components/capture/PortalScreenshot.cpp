#include "PortalScreenshot.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

#include "PortalResponse.h"

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
// A desktop that asks the user first may take a while.
constexpr int kAnswerWithinMs = 60000;

// Where the portal will publish the answer: known before the call, so that an answer
// that comes quickly is not missed.
QString RequestPath(const QDBusConnection& bus, const QString& token) {
  QString sender = bus.baseService().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  return kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

// The portal's picture covers every output in the desktop's layout, at the largest scale
// of any output: the part `screen` shows, in its device pixels.
FrozenScreen CutOutScreen(const QImage& desktop, QScreen* screen) {
  QRect layout;
  for (QScreen* each : QGuiApplication::screens()) layout |= each->geometry();
  const QRect shown = screen->geometry();
  const qreal scale = static_cast<qreal>(desktop.width()) / layout.width();
  const QRect part =
      QRectF(QPointF(shown.topLeft() - layout.topLeft()) * scale, QSizeF(shown.size()) * scale)
          .toAlignedRect();
  FrozenScreen frozen;
  frozen.taken = QDateTime::currentDateTime();
  frozen.area = shown;
  frozen.picture = desktop.copy(part).convertToFormat(QImage::Format_RGB32);
  // An output of a smaller scale than the largest: its own pixels, as on X11.
  const QSize device = (QSizeF(shown.size()) * screen->devicePixelRatio()).toSize();
  if (frozen.picture.size() != device)
    frozen.picture = frozen.picture.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  frozen.picture.setDevicePixelRatio(1);
  return frozen;
}

}  // namespace

FrozenScreen FreezeThroughPortal(QScreen* screen, QString& failure) {
  static int requests = 0;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    failure = QStringLiteral("截图失败：没有桌面会话的 D-Bus，无法向桌面要屏幕画面。");
    return {};
  }
  const QString token = QStringLiteral("orvane_capture%1").arg(++requests);
  QString path = RequestPath(bus, token);

  QEventLoop loop;
  PortalResponse response;
  QObject::connect(&response, &PortalResponse::Answered, &loop, &QEventLoop::quit);
  bus.connect(kService, path, kRequest, QStringLiteral("Response"), &response,
              SLOT(Receive(uint, QVariantMap)));

  QDBusMessage call = QDBusMessage::createMethodCall(
      kService, kPath, QStringLiteral("org.freedesktop.portal.Screenshot"),
      QStringLiteral("Screenshot"));
  call << QString()
       << QVariantMap{{QStringLiteral("handle_token"), token},
                      {QStringLiteral("interactive"), false}};
  QDBusPendingCallWatcher watcher(bus.asyncCall(call, kAnswerWithinMs));
  QString callError;
  QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, [&] {
    const QDBusPendingReply<QDBusObjectPath> reply = watcher;
    if (reply.isError()) {
      callError = reply.error().message();
      loop.quit();
    } else if (reply.value().path() != path) {
      // Older portals choose the request's path themselves.
      bus.disconnect(kService, path, kRequest, QStringLiteral("Response"), &response,
                     SLOT(Receive(uint, QVariantMap)));
      path = reply.value().path();
      bus.connect(kService, path, kRequest, QStringLiteral("Response"), &response,
                  SLOT(Receive(uint, QVariantMap)));
    }
  });
  QTimer::singleShot(kAnswerWithinMs, &loop, &QEventLoop::quit);
  // xdg-desktop-portal-wlr 0.7 (sway on Debian 12) may hold its answer until some other
  // message reaches it: a ping now and then lets it go on. Nothing is started for it.
  QTimer poke;
  QObject::connect(&poke, &QTimer::timeout, &loop, [&bus] {
    QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.impl.portal.desktop.wlr"), kPath,
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    ping.setAutoStartService(false);
    bus.asyncCall(ping);
  });
  poke.start(200);
  loop.exec();
  bus.disconnect(kService, path, kRequest, QStringLiteral("Response"), &response,
                 SLOT(Receive(uint, QVariantMap)));

  if (!callError.isEmpty()) {
    failure = QStringLiteral("截图失败：这个桌面不提供屏幕画面（%1）。").arg(callError);
    return {};
  }
  if (!response.answered) {
    failure =
        QStringLiteral("截图失败：桌面在 %1 秒内没有给出屏幕画面。").arg(kAnswerWithinMs / 1000);
    return {};
  }
  if (response.code == 1) {
    failure = QStringLiteral("截图失败：桌面拒绝了截图请求。");
    return {};
  }
  const QString file = QUrl(response.results.value(QStringLiteral("uri")).toString()).toLocalFile();
  if (response.code != 0 || file.isEmpty()) {
    failure = QStringLiteral("截图失败：桌面未能给出屏幕画面。");
    return {};
  }
  QImageReader reader(file);
  const QImage desktop = reader.read();
  if (desktop.isNull()) {
    failure = QStringLiteral("截图失败：读不出桌面给出的画面“%1”（%2）。")
                  .arg(file, reader.errorString());
    return {};
  }
  return CutOutScreen(desktop, screen);
}
