#include "framework/qt/WindowLossWatch.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

namespace {

class DestroyFilter : public QObject, public QAbstractNativeEventFilter {
 public:
  DestroyFilter(QWidget* window, std::function<void()> routine)
      : QObject(window), window_(window), routine_(std::move(routine)) {
    QCoreApplication::instance()->installNativeEventFilter(this);
  }
  ~DestroyFilter() override {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
  }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_DESTROY_NOTIFY || !window_) return false;
    // Qt forgets a native window of its own before it destroys it, so the window still
    // named by the widget can only have been destroyed by someone else.
    const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
    if (destroyed->window != static_cast<xcb_window_t>(window_->internalWinId())) return false;
    if (!reported_) {
      reported_ = true;
      QMetaObject::invokeMethod(this, routine_, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  QPointer<QWidget> window_;
  std::function<void()> routine_;
  bool reported_ = false;
};

}  // namespace

void WatchWindowDestroyedByOthers(QWidget* window, std::function<void()> routine) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  new DestroyFilter(window, std::move(routine));
}
