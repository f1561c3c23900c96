#pragma once

#include <QPushButton>

// A push button whose caption is centred and wraps onto further lines when it does
// not fit on one, as the narrow tool buttons of the main window need.
class WrapButton : public QPushButton {
  Q_OBJECT

 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
