#include "framework/qt/PortalKeys.h"

#include "framework/qt/PortalRequests.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

namespace {

const QString kRemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
constexpr uint kKeyboard = 1;
constexpr uint32_t kShift = 0xffe1;
// The user may take a while over the desktop's question; past this the start has failed.
constexpr int kStartWithinMs = 180000;

}  // namespace

PortalKeys::PortalKeys() = default;

PortalKeys::~PortalKeys() {
  if (!session_.isEmpty())
    QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
        kPortalService, session_, kSession, QStringLiteral("Close")));
}

PortalKeys::Readiness PortalKeys::Prepare(QString& failure) {
  switch (step_) {
    case Step::Ready:
      return Readiness::Ready;
    case Step::Failed:
      failure = failure_;
      step_ = Step::None;
      return Readiness::Failed;
    case Step::None:
      break;
    default:
      return Readiness::Starting;
  }
  if (!QDBusConnection::sessionBus().isConnected()) {
    failure = QStringLiteral("打字失败：没有桌面会话的 D-Bus，无法通过桌面打字。");
    return Readiness::Failed;
  }
  const int attempt = ++generation_;
  QTimer::singleShot(kStartWithinMs, this, [this, attempt] {
    if (attempt == generation_ && step_ != Step::Ready && step_ != Step::None &&
        step_ != Step::Failed)
      Fail(QStringLiteral("打字失败：桌面在 %1 秒内没有允许远程输入。").arg(kStartWithinMs / 1000));
  });
  Request(Step::CreateSession, QStringLiteral("CreateSession"), {},
          {{QStringLiteral("session_handle_token"), QStringLiteral("orvane_keys%1").arg(attempt)}});
  return Readiness::Starting;
}

void PortalKeys::Request(Step step, const QString& method, const QVariantList& arguments,
                         QVariantMap options) {
  step_ = step;
  const QString token = QStringLiteral("orvane_keys_request%1").arg(++requests_);
  options.insert(QStringLiteral("handle_token"), token);
  ListenAt(PortalRequestPath(token));
  QDBusMessage call =
      QDBusMessage::createMethodCall(kPortalService, kPortalPath, kRemoteDesktop, method);
  call.setArguments(QVariantList(arguments) << options);
  auto* watcher =
      new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, kStartWithinMs));
  const int attempt = generation_;
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, attempt, step] {
    watcher->deleteLater();
    if (attempt != generation_ || step_ != step) return;
    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
    if (reply.isError())
      Fail(QStringLiteral("打字失败：这个桌面不提供远程输入（%1）。").arg(reply.error().message()));
    else if (reply.value().path() != requestPath_)
      ListenAt(reply.value().path());  // older portals choose the path themselves
  });
}

void PortalKeys::ListenAt(const QString& path) {
  StopListening();
  requestPath_ = path;
  QDBusConnection::sessionBus().connect(kPortalService, path, kPortalRequest,
                                        QStringLiteral("Response"), this,
                                        SLOT(Answered(uint, QVariantMap)));
}

void PortalKeys::StopListening() {
  if (requestPath_.isEmpty()) return;
  QDBusConnection::sessionBus().disconnect(kPortalService, requestPath_, kPortalRequest,
                                           QStringLiteral("Response"), this,
                                           SLOT(Answered(uint, QVariantMap)));
  requestPath_.clear();
}

void PortalKeys::Answered(uint code, const QVariantMap& results) {
  StopListening();
  if (code == 1) return Fail(QStringLiteral("打字失败：桌面没有允许本程序远程输入。"));
  if (code != 0) return Fail(QStringLiteral("打字失败：桌面未能开始远程输入。"));
  switch (step_) {
    case Step::CreateSession: {
      session_ = results.value(QStringLiteral("session_handle")).toString();
      QDBusConnection::sessionBus().connect(kPortalService, session_, kSession,
                                            QStringLiteral("Closed"), this, SLOT(SessionClosed()));
      Request(Step::SelectDevices, QStringLiteral("SelectDevices"),
              {QVariant::fromValue(QDBusObjectPath(session_))},
              {{QStringLiteral("types"), kKeyboard}});
      break;
    }
    case Step::SelectDevices:
      Request(Step::Start, QStringLiteral("Start"),
              {QVariant::fromValue(QDBusObjectPath(session_)), QString()}, {});
      break;
    case Step::Start:
      if (!(results.value(QStringLiteral("devices")).toUInt() & kKeyboard))
        return Fail(QStringLiteral("打字失败：桌面没有允许使用键盘。"));
      step_ = Step::Ready;
      // The first key after a start may be lost (mutter): a lone Shift goes first.
      Press({kShift});
      break;
    default:
      break;
  }
}

void PortalKeys::SessionClosed() {
  if (step_ == Step::None || step_ == Step::Failed) return;
  session_.clear();
  Fail(QStringLiteral("打字中断：桌面结束了远程输入。"));
}

void PortalKeys::Fail(const QString& failure) {
  StopListening();
  ++generation_;
  if (!session_.isEmpty()) {
    QDBusConnection::sessionBus().disconnect(kPortalService, session_, kSession,
                                             QStringLiteral("Closed"), this, SLOT(SessionClosed()));
    QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
        kPortalService, session_, kSession, QStringLiteral("Close")));
    session_.clear();
  }
  keys_.clear();
  sending_ = false;
  step_ = Step::Failed;
  failure_ = failure;
}

void PortalKeys::Press(const std::vector<uint32_t>& keysyms) {
  for (const uint32_t keysym : keysyms) Notify(keysym, true);
  for (auto key = keysyms.rbegin(); key != keysyms.rend(); ++key) Notify(*key, false);
}

void PortalKeys::Notify(uint32_t keysym, bool pressed) {
  if (step_ != Step::Ready) return;
  keys_.push_back({keysym, pressed});
  if (!sending_) SendNextKey();
}

void PortalKeys::SendNextKey() {
  if (keys_.empty() || step_ != Step::Ready) {
    keys_.clear();
    sending_ = false;
    return;
  }
  const auto [keysym, pressed] = keys_.front();
  keys_.pop_front();
  sending_ = true;
  QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kRemoteDesktop,
                                                     QStringLiteral("NotifyKeyboardKeysym"));
  call << QVariant::fromValue(QDBusObjectPath(session_)) << QVariantMap()
       << static_cast<int>(keysym) << static_cast<uint>(pressed ? 1 : 0);
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
  const int attempt = generation_;
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, attempt] {
    watcher->deleteLater();
    if (attempt != generation_) return;
    if (watcher->isError() && step_ == Step::Ready)
      Fail(QStringLiteral("打字中断：桌面不再接受按键（%1）。").arg(watcher->error().message()));
    SendNextKey();
  });
}
