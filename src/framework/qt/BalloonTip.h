#pragma once

#include <QTimer>
#include <QWidget>

// A balloon tip: a rounded box with a tail whose point rests on a screen point,
// with an optional icon and title. It closes by itself after a few seconds or
// when clicked.
class BalloonTip : public QWidget {
  Q_OBJECT

 public:
  BalloonTip();

  // Icons: 1 information, 2 warning, 3 error; anything else none.
  void ShowAt(QPoint tip, const QString& text, int icon, const QString& title,
              int milliseconds = 4000);
  QString ShownText() const { return text_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QPainterPath Outline() const;

  QString text_;
  QString title_;
  QPixmap icon_;
  QRect body_;
  QTimer closeTimer_;
};
