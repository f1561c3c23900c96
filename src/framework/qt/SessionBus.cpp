#include "framework/qt/SessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>

#include "framework/TextCodec.h"

namespace {

const QString kName = QStringLiteral("example.orvane.Notepad");
const QString kPath = QStringLiteral("/example/orvane/Notepad");
const QString kInterface = QStringLiteral("example.orvane.Notepad");
// A copy busy in a long handler still answers within this, since every method answers
// before it does its work; a hung one must not hold up the command for long.
constexpr int kAnswerMilliseconds = 10000;

}  // namespace

SessionService::SessionService(std::function<void(const Event&)> deliver,
                               std::function<void()> activate)
    : deliver_(std::move(deliver)), activate_(std::move(activate)) {}

bool SessionService::Claim() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  if (!bus.registerService(kName)) return false;
  if (bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots)) return true;
  bus.unregisterService(kName);
  return false;
}

void SessionService::ReadAloud() { Request(EventKind::ActionRequested, "read-aloud"); }
void SessionService::PauseReading() { Request(EventKind::ActionRequested, "pause-reading"); }
void SessionService::StopReading() { Request(EventKind::ActionRequested, "stop-reading"); }
void SessionService::Type() { Request(EventKind::ActionRequested, "type"); }
void SessionService::Capture() { Request(EventKind::ActionRequested, "capture"); }

void SessionService::Activate() {
  QTimer::singleShot(0, this, [this] { activate_(); });
}

void SessionService::Open(const QByteArray& path) {
  // File names are bytes; the program's names are its text made from them as UTF-8.
  Request(EventKind::OpenRequested, TextFromUtf8(path.toStdString()));
}

void SessionService::Request(EventKind kind, const Text& text) {
  Event event;
  event.kind = kind;
  event.text = text;
  // After the answer: the work may open dialogs and take its time.
  QTimer::singleShot(0, this, [this, event] { deliver_(event); });
}

bool SessionBusReachable() { return QDBusConnection::sessionBus().isConnected(); }

SessionAnswer CallRunningCopy(const QString& method, const QByteArray* path, QString& problem) {
  return CallRunningCopy(QDBusConnection::sessionBus(), method, path, problem);
}

SessionAnswer CallRunningCopy(const QDBusConnection& bus, const QString& method,
                              const QByteArray* path, QString& problem) {
  if (!bus.isConnected()) {
    problem = QStringLiteral("no session bus, so no running copy can be reached");
    return SessionAnswer::NoneRuns;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kName, kPath, kInterface, method);
  call.setAutoStartService(false);
  if (path) call << *path;
  const QDBusMessage reply = bus.call(call, QDBus::Block, kAnswerMilliseconds);
  if (reply.type() == QDBusMessage::ReplyMessage) return SessionAnswer::Done;
  const QString error = reply.errorName();
  if (error == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
      error == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")) {
    problem = QStringLiteral("no copy of the program runs in this desktop session");
    return SessionAnswer::NoneRuns;
  }
  problem = QStringLiteral("the running copy did not answer (%1)").arg(reply.errorMessage());
  return SessionAnswer::NoAnswer;
}
