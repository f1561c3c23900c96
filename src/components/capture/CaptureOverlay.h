#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "ScreenFreeze.h"
#include "SelectionGeometry.h"

// The full-screen window over the frozen picture in which the user picks, adjusts and
// copies or saves an area. It holds the keyboard and pointer while it is shown.
class CaptureOverlay : public QWidget {
 public:
  // `owner` is the caller's window when it is one of ours: dialogs stand over it.
  // `fullScreen`: the window asks the desktop to cover its output (Wayland, where a window
  // cannot place itself). `finished` runs once, when the capture is over.
  CaptureOverlay(FrozenScreen frozen, QWidget* owner, bool fullScreen,
                 std::function<void()> finished);
  ~CaptureOverlay() override;

  void Start();
  int Result() const { return result_; }  // 1 when copied or saved, 0 otherwise

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Appear();
  void Disappear();
  QPoint DevicePoint(const QMouseEvent* event) const;
  QRect LogicalBounds(QRect device) const;
  QString SizeText() const;
  QRect SizeLabel() const;
  QRect Decorations() const;
  void Repaint(QRect before);
  void UpdateCursor(QPoint device);
  void Copy();
  void Save();
  QString ProposedPath() const;
  QString AskSavePath(const QString& proposal);
  void Finish(int result);

  FrozenScreen frozen_;
  QPointer<QWidget> owner_;
  std::function<void()> finished_;
  SelectionGeometry selection_;
  qreal ratio_ = 1;  // device pixels per logical pixel
  bool fullScreen_;
  bool filtering_ = false;
  bool grabbed_ = false;
  bool done_ = false;
  int result_ = 0;
};
