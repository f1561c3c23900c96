#include "framework/qt/SpinButtons.h"

#include <QEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

#include "framework/qt/FlatStyle.h"

namespace {
// The leading decimal number of the text, if it has one.
std::optional<int> LeadingNumber(const QString& text) {
  const QString trimmed = text.trimmed();
  qsizetype end = 0;
  if (end < trimmed.size() && (trimmed[end] == u'-' || trimmed[end] == u'+')) ++end;
  const qsizetype digits = end;
  while (end < trimmed.size() && trimmed[end].isDigit() && end - digits < 9) ++end;
  if (end == digits) return std::nullopt;
  return trimmed.left(end).toInt();
}
}  // namespace

SpinButtons::SpinButtons(QLineEdit* buddy, int minimum, int maximum)
    : QWidget(buddy->parentWidget()),
      buddy_(buddy),
      alive_(buddy),
      minimum_(minimum),
      maximum_(maximum) {
  position_ = std::clamp(LeadingNumber(buddy->text()).value_or(minimum), minimum, maximum);
  buddy->installEventFilter(this);
  repeat_.setInterval(80);
  connect(&repeat_, &QTimer::timeout, this, [this] { Step(pressed_); });
  FollowBuddy();
}

void SpinButtons::Step(int delta) {
  if (!alive_ || delta == 0) return;
  const int current = LeadingNumber(buddy_->text()).value_or(position_);
  position_ = std::clamp(current + delta, minimum_, maximum_);
  buddy_->setText(QString::number(position_));
}

void SpinButtons::FollowBuddy() {
  if (!alive_) return;
  // As a QWidget: the buddy also moves and hides while it is being destroyed.
  const QWidget* buddy = static_cast<QWidget*>(alive_.data());
  const QRect g = buddy->geometry();
  setGeometry(g.right() + 1, g.top(), kWidth, g.height());
  setVisible(buddy->isVisibleTo(parentWidget()));
  setEnabled(buddy->isEnabled());
  update();
}

bool SpinButtons::eventFilter(QObject* watched, QEvent* event) {
  if (alive_ && watched == alive_.data()) {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
      case QEvent::EnabledChange:
        FollowBuddy();
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void SpinButtons::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = event->position().y() < height() / 2.0 ? +1 : -1;
  Step(pressed_);
  repeat_.start(400);
  update();
}

void SpinButtons::mouseReleaseEvent(QMouseEvent*) {
  pressed_ = 0;
  repeat_.stop();
  repeat_.setInterval(80);
  update();
}

void SpinButtons::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect upper(0, 0, width(), height() / 2);
  const QRect lower(0, height() / 2, width(), height() - height() / 2);
  auto* flat = dynamic_cast<FlatStyle*>(style());
  for (int half = 0; half < 2; ++half) {
    const QRect area = half == 0 ? upper : lower;
    const bool down = pressed_ == (half == 0 ? +1 : -1);
    if (flat && isEnabled()) {
      flat->FillArrowButton(&painter, area, down);
      flat->DrawFrames(&painter, area, palette(), true);
    } else if (flat) {
      painter.fillRect(area, palette().color(QPalette::Button));
      flat->DrawFrames(&painter, area, palette(), false);
    } else {
      QStyleOptionButton option;
      option.initFrom(this);
      option.rect = area;
      if (down) option.state |= QStyle::State_Sunken;
      style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);
    }
    QStyleOption arrow;
    arrow.initFrom(this);
    arrow.rect = area.adjusted(3, 2, -3, -2);
    style()->drawPrimitive(half == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown,
                           &arrow, &painter, this);
  }
}
