#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLineEdit;

// Up and down arrow buttons attached to the right of an edit box. They step the
// number in the edit box between a minimum and a maximum and leave any other
// text alone until they are used. They follow the edit box when it moves, hides
// or is disabled.
class SpinButtons : public QWidget {
  Q_OBJECT

 public:
  SpinButtons(QLineEdit* buddy, int minimum, int maximum);

  static constexpr int kWidth = 17;

  // Steps the buddy's number by delta (+1 up, -1 down), within the range. A text
  // that is no number steps from the last value the buttons set.
  void Step(int delta);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FollowBuddy();

  // The buddy, and a guard that turns null once it is gone. The guard is a plain
  // QObject pointer: the buddy sends events while it is destroyed, when it is no
  // longer a QLineEdit.
  QLineEdit* buddy_;
  QPointer<QObject> alive_;
  int minimum_;
  int maximum_;
  int position_;
  int pressed_ = 0;  // +1 up arrow held, -1 down arrow held
  QTimer repeat_;
};
