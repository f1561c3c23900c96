#pragma once

#include <QPushButton>

// text made darker (on a light face) or lighter until its contrast with face reaches
// ratio (WCAG's definition).
QColor ReadableOn(QColor text, const QColor& face, double ratio);

// A push button whose caption is centred and wraps onto further lines when it does
// not fit on one, as the narrow tool buttons of the main window need.
class WrapButton : public QPushButton {
  Q_OBJECT

 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
