#include "framework/qt/WrapButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <cmath>

namespace {

double Luminance(const QColor& c) {
  const auto linear = [](double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

QColor ReadableOn(QColor text, const QColor& face, double ratio) {
  // Toward black on a light face, toward white on a dark one, in small steps.
  const bool darken = Luminance(face) >= 0.18;
  for (int step = 0; step < 64 && Contrast(text, face) < ratio; ++step)
    text = darken ? text.darker(105) : text.lighter(110);
  if (Contrast(text, face) < ratio) text = darken ? QColor(Qt::black) : QColor(Qt::white);
  return text;
}

void WrapButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  const QString caption = option.text;
  option.text.clear();
  painter.drawControl(QStyle::CE_PushButton, option);

  const QRect area = rect().adjusted(2, 2, -2, -2);
  const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
  QColor pen = palette().color(group, QPalette::ButtonText);
  // A disabled caption stays readable, in a recorded video too. Its thin strokes are
  // anti-aliased and come out lighter than the pen: 4.5:1 for the pen keeps them above 3:1.
  if (!isEnabled()) pen = ReadableOn(pen, palette().color(group, QPalette::Button), 4.5);
  painter.setPen(pen);
  painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, caption);
}
