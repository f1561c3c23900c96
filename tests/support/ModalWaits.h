#pragma once

// Driving modal dialogs from a Qt test: an action waits for the dialog it is meant for
// and runs once that dialog shows; a test withdraws the waits that never ran, so that
// none outlives it.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QList>
#include <QPointer>
#include <QTimer>

inline QList<QPointer<QTimer>>& PendingWaits() {
  static QList<QPointer<QTimer>> waits;
  return waits;
}

inline void WithdrawPendingWaits() {
  for (const QPointer<QTimer>& wait : std::as_const(PendingWaits())) delete wait.data();
  PendingWaits().clear();
}

// Runs act on the first visible modal widget of type T, once it shows.
template <typename T, typename Act>
void WhenModal(Act act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (T* wanted = qobject_cast<T*>(QApplication::activeModalWidget());
        wanted && wanted->isVisible()) {
      timer->stop();
      timer->deleteLater();
      act(wanted);
    }
  });
  timer->start();
  PendingWaits() << timer;
}

// Clicks the visible button labelled text in window; a dialog without one is rejected,
// so that a test waiting on it does not hang.
inline void Click(QWidget* window, const QString& text) {
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    if (button->text() == text && button->isVisible()) {
      button->click();
      return;
    }
  }
  if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->reject();
}
