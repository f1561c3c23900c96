#include "framework/qt/FlatStyle.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

namespace {

QColor Darkened(const QColor& c, int amount) {
  return QColor(std::max(c.red() - amount, 0), std::max(c.green() - amount, 0),
                std::max(c.blue() - amount, 0));
}

bool IsEnabled(const QStyleOption* option) { return option->state & QStyle::State_Enabled; }

}  // namespace

FlatStyle::FlatStyle(QColor frame) : QProxyStyle(QStyleFactory::create("Fusion")), frame_(frame) {}

QColor FlatStyle::SchemeColour(int scheme) {
  switch (scheme) {
    case 1:
      return QColor(123, 158, 189);
    case 2:
      return QColor(164, 185, 127);
    case 3:
      return QColor(198, 197, 215);
    default:
      return QColor();
  }
}

QColor FlatStyle::ActiveFrameColour() {
  if (auto* flat = dynamic_cast<FlatStyle*>(QApplication::style())) return flat->Frame();
  return QColor();
}

void FlatStyle::DrawFrames(QPainter* painter, const QRect& rect, const QPalette& palette,
                           bool enabled) const {
  const QColor face = palette.color(QPalette::Active, QPalette::Button);
  painter->save();
  painter->setBrush(Qt::NoBrush);
  painter->setPen(enabled ? frame_ : Darkened(face, 32));
  painter->drawRect(rect.adjusted(0, 0, -1, -1));
  painter->setPen(enabled ? palette.color(QPalette::Active, QPalette::Base) : face);
  painter->drawRect(rect.adjusted(1, 1, -2, -2));
  painter->restore();
}

void FlatStyle::FillArrowButton(QPainter* painter, const QRect& rect, bool pressed) const {
  QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
  const QColor light = frame_.lighter(pressed ? 130 : 175);
  const QColor dark = frame_.lighter(pressed ? 105 : 125);
  gradient.setColorAt(0, light);
  gradient.setColorAt(1, dark);
  painter->fillRect(rect, gradient);
}

void FlatStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                              QPainter* painter, const QWidget* widget) const {
  switch (element) {
    case PE_PanelButtonCommand: {
      const bool down = option->state & (State_Sunken | State_On);
      const bool hover = option->state & State_MouseOver;
      QColor face = option->palette.color(QPalette::Button);
      if (down)
        face = face.darker(108);
      else if (hover && IsEnabled(option))
        face = face.lighter(104);
      painter->fillRect(option->rect, face);
      DrawFrames(painter, option->rect, option->palette, IsEnabled(option));
      return;
    }
    case PE_PanelLineEdit:
      painter->fillRect(option->rect.adjusted(1, 1, -1, -1), option->palette.color(QPalette::Base));
      DrawFrames(painter, option->rect, option->palette, IsEnabled(option));
      return;
    case PE_FrameLineEdit:
    case PE_FrameGroupBox:
      DrawFrames(painter, option->rect, option->palette, IsEnabled(option));
      return;
    case PE_Frame:
      if (qobject_cast<const QAbstractScrollArea*>(widget)) {
        DrawFrames(painter, option->rect, option->palette, IsEnabled(option));
        return;
      }
      break;
    case PE_IndicatorCheckBox:
    case PE_IndicatorRadioButton: {
      // The toolkit's mark, framed in the scheme colour.
      QProxyStyle::drawPrimitive(element, option, painter, widget);
      painter->save();
      painter->setPen(IsEnabled(option) ? frame_
                                        : Darkened(option->palette.color(QPalette::Button), 32));
      painter->setBrush(Qt::NoBrush);
      painter->setRenderHint(QPainter::Antialiasing, element == PE_IndicatorRadioButton);
      if (element == PE_IndicatorRadioButton)
        painter->drawEllipse(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
      else
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
      painter->restore();
      return;
    }
    default:
      break;
  }
  QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void FlatStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                            const QWidget* widget) const {
  if (element == CE_PushButtonBevel) {
    drawPrimitive(PE_PanelButtonCommand, option, painter, widget);
    return;
  }
  if (element == CE_ShapedFrame && qobject_cast<const QAbstractScrollArea*>(widget)) {
    DrawFrames(painter, option->rect, option->palette, IsEnabled(option));
    return;
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

void FlatStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                   QPainter* painter, const QWidget* widget) const {
  QProxyStyle::drawComplexControl(control, option, painter, widget);
  if (control != CC_ComboBox && control != CC_SpinBox) return;
  // Flat frame over the toolkit's drawing, and gradient arrow buttons.
  if (control == CC_ComboBox) {
    const QRect arrow = subControlRect(control, option, SC_ComboBoxArrow, widget);
    if (arrow.isValid() && IsEnabled(option)) {
      FillArrowButton(painter, arrow.adjusted(0, 2, -2, -2),
                      option->activeSubControls & SC_ComboBoxArrow);
      QStyleOption arrowOption = *option;
      arrowOption.rect = arrow;
      QProxyStyle::drawPrimitive(PE_IndicatorArrowDown, &arrowOption, painter, widget);
    }
  }
  DrawFrames(painter, option->rect, option->palette, IsEnabled(option));
}

int FlatStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                           const QWidget* widget) const {
  if (metric == PM_DefaultFrameWidth) return 2;
  return QProxyStyle::pixelMetric(metric, option, widget);
}
