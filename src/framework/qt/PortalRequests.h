#pragma once

#include <QDBusConnection>
#include <QString>

// The desktop portal's address on the session bus, shared by its clients here.
inline const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString kPortalRequest = QStringLiteral("org.freedesktop.portal.Request");

// Where the portal will publish a request's answer: known before the call, so that an
// answer that comes quickly is not missed.
inline QString PortalRequestPath(const QString& token) {
  QString sender = QDBusConnection::sessionBus().baseService().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  return kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}
