#pragma once

#include <QColor>
#include <QProxyStyle>

// The flat control style: push buttons, check boxes, radio buttons, group boxes,
// edit boxes, combo boxes and spin buttons get a one-pixel frame in the scheme's
// colour with a one-pixel frame in the window colour inside it; disabled controls
// get the button face darkened by 32 outside and the button face inside.
class FlatStyle : public QProxyStyle {
 public:
  explicit FlatStyle(QColor frame);

  // The frame colour of schemes 1 (blue), 2 (olive green) and 3 (silver); invalid
  // for any other number.
  static QColor SchemeColour(int scheme);
  // The scheme colour of the style the application uses now, if it is flat.
  static QColor ActiveFrameColour();

  QColor Frame() const { return frame_; }
  // The two frames around rect, for an enabled or a disabled control.
  void DrawFrames(QPainter* painter, const QRect& rect, const QPalette& palette,
                  bool enabled) const;
  // A vertical gradient in the scheme's hue, used on arrow buttons.
  void FillArrowButton(QPainter* painter, const QRect& rect, bool pressed) const;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override;

 private:
  QColor frame_;
};
