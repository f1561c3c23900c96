#include "framework/qt/PortalHotKeys.h"

#include "framework/qt/PortalRequests.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaObject>
#include <QTimer>

#include "framework/platform/KeyGrabs.h"
#include "framework/platform/KeysymNames.h"

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
// The same every start: the desktop files the keys under the program's id and this
// token, and an unsandboxed program's id is empty.
const QString kSessionToken = QStringLiteral("orvane_notepad");
// The portal may be started for the first question, and a desktop may ask the user.
constexpr int kFindOutWithinMs = 25000;
constexpr int kAnswerWithinMs = 60000;

struct PortalShortcut {
  QString id;
  QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

}  // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace {

QString PathText(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
    return value.value<QDBusObjectPath>().path();
  return value.toString();
}

}  // namespace

PortalHotKeys::PortalHotKeys() : answerTimer_(new QTimer(this)) {
  qDBusRegisterMetaType<PortalShortcut>();
  qDBusRegisterMetaType<QList<PortalShortcut>>();
  answerTimer_->setSingleShot(true);
  connect(answerTimer_, &QTimer::timeout, this, [this] { Failed(); });
}

PortalHotKeys::~PortalHotKeys() { CloseSession(); }

void PortalHotKeys::FindOut(std::function<void(bool offered)> answer) {
  if (presence_ != Presence::Unknown) {
    answer(presence_ == Presence::Offered);
    return;
  }
  waiting_.push_back(std::move(answer));
  if (asked_) return;
  asked_ = true;

  QDBusConnection bus = QDBusConnection::sessionBus();
  auto settle = [this](bool offered) {
    presence_ = offered ? Presence::Offered : Presence::Missing;
    for (auto& waiting : std::exchange(waiting_, {})) waiting(offered);
  };
  if (!bus.isConnected()) {
    settle(false);
    return;
  }
  QDBusMessage ask = QDBusMessage::createMethodCall(
      kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  ask << kInterface << QStringLiteral("version");
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask, kFindOutWithinMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, settle] {
    watcher->deleteLater();
    const bool offered = !watcher->isError();
    if (offered)
      QDBusConnection::sessionBus().connect(kPortalService, kPortalPath, kInterface,
                                            QStringLiteral("Activated"), this,
                                            SLOT(OnActivated(QDBusMessage)));
    settle(offered);
  });
}

int PortalHotKeys::Register(int modifiers, int virtualKey, const QString& id,
                            const QString& description) {
  const int number = nextNumber_++;
  const QString trigger = TriggerText(modifiers, virtualKey);
  if (presence_ != Presence::Offered || trigger.isEmpty() || id.isEmpty()) return 0;
  keys_[number] = Key{id, description, trigger};
  QueueSync();
  return number;
}

bool PortalHotKeys::Unregister(int number) {
  if (keys_.erase(number) == 0) return false;
  QueueSync();
  return true;
}

void PortalHotKeys::SetHandler(std::function<void(int number, bool refused)> handler) {
  handler_ = std::move(handler);
}

QString PortalHotKeys::TriggerText(int modifiers, int virtualKey) {
  if (modifiers < 0 || modifiers > 15) return QString();
  const xcb_keysym_t keysym = KeysymOfVirtualKey(virtualKey);
  QString key = QString::fromStdString(KeysymName(keysym));
  if (key.isEmpty()) return QString();
  QString text;
  if (modifiers & 1) text += QStringLiteral("CTRL+");
  if (modifiers & 2) text += QStringLiteral("SHIFT+");
  if (modifiers & 4) text += QStringLiteral("ALT+");
  if (modifiers & 8) text += QStringLiteral("LOGO+");
  // Letters as they are printed on the key.
  if (key.size() == 1) key = key.toUpper();
  return text + key;
}

void PortalHotKeys::OnActivated(const QDBusMessage& message) {
  // (o session, s id, t time stamp, a{sv} options)
  const QList<QVariant> arguments = message.arguments();
  if (arguments.size() < 2 || PathText(arguments[0]) != session_) return;
  const QString id = arguments[1].toString();
  // A key pressed between the session's creation and the binding's answer counts too.
  for (const auto* keys : {&sent_, &sending_})
    for (const auto& [number, key] : *keys)
      if (key.id == id && keys_.count(number) != 0) Notify(number, false);
}

void PortalHotKeys::QueueSync() {
  if (syncQueued_) return;
  syncQueued_ = true;
  // Keys registered one after the other go to the portal in one session.
  QTimer::singleShot(0, this, [this] {
    syncQueued_ = false;
    Sync();
  });
}

// The desktop takes the keys when a session is created with them (KDE Plasma 5.27) or when
// they are bound to an open one (the portal's later versions): both are asked, and a
// change of keys is a new session under the same token.
void PortalHotKeys::Sync() {
  if (busy_ || keys_ == sent_) return;
  busy_ = true;
  sending_ = keys_;
  CloseSession();
  sent_.clear();
  if (sending_.empty()) {
    Finish();
    return;
  }
  Request(Step::Create, QStringLiteral("CreateSession"), {},
          {{QStringLiteral("session_handle_token"), kSessionToken}});
}

void PortalHotKeys::CloseSession() {
  if (session_.isEmpty()) return;
  // Messages to the portal arrive in order: the session is gone before the next request.
  QDBusMessage close = QDBusMessage::createMethodCall(
      kPortalService, session_, QStringLiteral("org.freedesktop.portal.Session"),
      QStringLiteral("Close"));
  QDBusConnection::sessionBus().asyncCall(close);
  session_.clear();
}

void PortalHotKeys::Request(Step step, const QString& method, const QList<QVariant>& arguments,
                            QVariantMap options) {
  QList<PortalShortcut> shortcuts;
  for (const auto& [number, key] : sending_)
    shortcuts.append({key.id,
                      {{QStringLiteral("description"), key.description},
                       {QStringLiteral("preferred_trigger"), key.trigger}}});
  const QString token = QStringLiteral("orvane_hotkeys%1").arg(++requests_);
  step_ = step;
  requestPath_ = PortalRequestPath(token);
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.connect(kPortalService, requestPath_, kPortalRequest, QStringLiteral("Response"), this,
              SLOT(OnResponse(uint, QVariantMap)));

  options.insert(QStringLiteral("handle_token"), token);
  QDBusMessage call =
      QDBusMessage::createMethodCall(kPortalService, kPortalPath, kInterface, method);
  QList<QVariant> all = arguments;
  if (step == Step::Create) {
    options.insert(QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts));
  } else {
    all.append(QVariant::fromValue(shortcuts));
    all.append(QString());  // no parent window
  }
  all.append(options);
  call.setArguments(all);
  answerTimer_->start(kAnswerWithinMs);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerWithinMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, step] {
    watcher->deleteLater();
    if (step_ != step) return;
    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
    if (reply.isError()) {
      Failed();
    } else if (reply.value().path() != requestPath_) {
      // Older portals choose the request's path themselves.
      QDBusConnection bus = QDBusConnection::sessionBus();
      bus.disconnect(kPortalService, requestPath_, kPortalRequest, QStringLiteral("Response"), this,
                     SLOT(OnResponse(uint, QVariantMap)));
      requestPath_ = reply.value().path();
      bus.connect(kPortalService, requestPath_, kPortalRequest, QStringLiteral("Response"), this,
                  SLOT(OnResponse(uint, QVariantMap)));
    }
  });
}

void PortalHotKeys::OnResponse(uint code, const QVariantMap& results) {
  if (step_ == Step::None) return;
  answerTimer_->stop();
  QDBusConnection::sessionBus().disconnect(kPortalService, requestPath_, kPortalRequest,
                                           QStringLiteral("Response"), this,
                                           SLOT(OnResponse(uint, QVariantMap)));
  const Step step = std::exchange(step_, Step::None);
  if (code != 0) {
    Failed();
  } else if (step == Step::Create) {
    Created(results);
  } else {
    Bound(results);
  }
}

void PortalHotKeys::Created(const QVariantMap& results) {
  session_ = PathText(results.value(QStringLiteral("session_handle")));
  if (session_.isEmpty()) {
    Failed();
    return;
  }
  Request(Step::Bind, QStringLiteral("BindShortcuts"),
          {QVariant::fromValue(QDBusObjectPath(session_))}, {});
}

void PortalHotKeys::Bound(const QVariantMap& results) {
  // The answer names the keys the desktop holds for us; one it leaves out was refused.
  std::vector<QString> held;
  const QVariant listed = results.value(QStringLiteral("shortcuts"));
  if (listed.isValid()) {
    QList<PortalShortcut> shortcuts;
    listed.value<QDBusArgument>() >> shortcuts;
    for (const PortalShortcut& shortcut : shortcuts) held.push_back(shortcut.id);
  }
  for (const auto& [number, key] : sending_) {
    if (!listed.isValid() || std::find(held.begin(), held.end(), key.id) != held.end()) {
      sent_[number] = key;
      continue;
    }
    if (keys_.count(number) != 0 && keys_[number] == key) keys_.erase(number);
    Notify(number, true);
  }
  Finish();
}

void PortalHotKeys::Failed() {
  answerTimer_->stop();
  if (step_ != Step::None)
    QDBusConnection::sessionBus().disconnect(kPortalService, requestPath_, kPortalRequest,
                                             QStringLiteral("Response"), this,
                                             SLOT(OnResponse(uint, QVariantMap)));
  step_ = Step::None;
  CloseSession();
  sent_.clear();
  for (const auto& [number, key] : sending_) {
    if (keys_.count(number) != 0 && keys_[number] == key) keys_.erase(number);
    Notify(number, true);
  }
  Finish();
}

void PortalHotKeys::Finish() {
  busy_ = false;
  sending_.clear();
  if (keys_ != sent_) QueueSync();
}

void PortalHotKeys::Notify(int number, bool refused) {
  QMetaObject::invokeMethod(
      this,
      [this, number, refused] {
        if (handler_) handler_(number, refused);
      },
      Qt::QueuedConnection);
}
