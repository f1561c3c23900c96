#include "framework/qt/GlobalHotKeys.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QMetaObject>
#include <algorithm>

#include "framework/platform/KeyGrabs.h"

class GlobalHotKeys::Filter : public QAbstractNativeEventFilter {
 public:
  explicit Filter(GlobalHotKeys& owner) : owner_(owner) {}

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    return eventType == "xcb_generic_event_t" && owner_.OnKeyEvent(message);
  }

 private:
  GlobalHotKeys& owner_;
};

GlobalHotKeys::GlobalHotKeys() : context_(std::make_unique<QObject>()) {}

GlobalHotKeys::~GlobalHotKeys() {
  if (filter_ && QCoreApplication::instance()) {
    QCoreApplication::instance()->removeNativeEventFilter(filter_.get());
  }
}

int GlobalHotKeys::Register(int modifiers, int virtualKey) {
  const int number = nextNumber_++;
  if (!Attach() || !grabs_->Grab(number, modifiers, virtualKey)) return 0;
  return number;
}

bool GlobalHotKeys::Unregister(int number) { return grabs_ && grabs_->Release(number); }

void GlobalHotKeys::SetHandler(std::function<void(int number)> handler) {
  handler_ = std::move(handler);
}

bool GlobalHotKeys::Attach() {
  if (attached_) return grabs_ != nullptr;
  attached_ = true;
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return false;

  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  grabs_ = std::make_unique<KeyGrabs>(connection, screen->root);
  filter_ = std::make_unique<Filter>(*this);
  app->installNativeEventFilter(filter_.get());
  // The connection may already be closed when the application goes before us; its
  // grabs end with it, so only forget them.
  QObject::connect(app, &QObject::destroyed, context_.get(), [this] {
    filter_.reset();
    grabs_->Abandon();
  });
  return true;
}

bool GlobalHotKeys::OnKeyEvent(const void* xcbEvent) {
  const auto* event = static_cast<const xcb_generic_event_t*>(xcbEvent);
  const uint8_t kind = event->response_type & 0x7F;
  if (kind != XCB_KEY_PRESS && kind != XCB_KEY_RELEASE) return false;
  // Press and release events share one layout.
  const auto* key = static_cast<const xcb_key_press_event_t*>(xcbEvent);
  const auto heldKey = std::find(held_.begin(), held_.end(), key->detail);

  if (kind == XCB_KEY_RELEASE) {
    if (heldKey == held_.end()) return false;
    held_.erase(heldKey);
    lastReleasedKey_ = key->detail;
    lastReleaseTime_ = key->time;
    return true;
  }

  const int number = grabs_->Match(key->detail, key->state);
  if (number == 0) return false;
  // Auto-repeat comes as presses without a release in between (detectable auto-repeat)
  // or as a release and a press with the same time stamp.
  const bool repeat =
      heldKey != held_.end() || (key->detail == lastReleasedKey_ && key->time == lastReleaseTime_);
  if (heldKey == held_.end()) held_.push_back(key->detail);
  if (!repeat) {
    // Queued: the handler may open dialogs, which must not run inside the X event
    // dispatch.
    QMetaObject::invokeMethod(
        context_.get(),
        [this, number] {
          if (handler_) handler_(number);
        },
        Qt::QueuedConnection);
  }
  return true;
}
