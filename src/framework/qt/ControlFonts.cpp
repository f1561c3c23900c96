#include "framework/qt/ControlFonts.h"

#include <QFont>
#include <QFontInfo>
#include <QVariant>
#include <QWidget>

#include "framework/qt/QtText.h"

namespace {
constexpr const char* kHeightProperty = "orvaneFontHeight";
constexpr const char* kAngleProperty = "orvaneFontAngle";
constexpr const char* kFaceProperty = "orvaneFontFace";
}  // namespace

QFont DefaultControlFont() {
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(12);
  return font;
}

ControlFont FontOf(const QWidget* widget) {
  ControlFont result;
  const QFont font = widget->font();
  const QVariant height = widget->property(kHeightProperty);
  if (height.isValid()) {
    result.height = height.toInt();
  } else {
    result.height = -QFontInfo(font).pixelSize();
  }
  result.angle = widget->property(kAngleProperty).toInt();
  const QVariant face = widget->property(kFaceProperty);
  result.faceName = face.isValid() ? face.toString() : font.family();
  result.bold = font.weight() >= QFont::Bold;
  result.italic = font.italic();
  result.strikeOut = font.strikeOut();
  result.underline = font.underline();
  return result;
}

void SetFont(QWidget* widget, const ControlFont& value) {
  QFont font = widget->font();
  if (!value.faceName.isEmpty()) font.setFamilies({value.faceName});
  if (value.height != 0) font.setPixelSize(std::abs(value.height));
  font.setWeight(value.bold ? QFont::Bold : QFont::Normal);
  font.setItalic(value.italic);
  font.setStrikeOut(value.strikeOut);
  font.setUnderline(value.underline);
  widget->setFont(font);
  widget->setProperty(kHeightProperty,
                      value.height != 0 ? value.height : -QFontInfo(font).pixelSize());
  widget->setProperty(kAngleProperty, ((value.angle % 3600) + 3600) % 3600);
  widget->setProperty(kFaceProperty, value.faceName.isEmpty() ? font.family() : value.faceName);
}

void ApplyDesignFont(QWidget* widget, const FontDefinition& design) {
  ControlFont font = FontOf(widget);
  if (!design.faceName.empty()) font.faceName = ToQString(design.faceName);
  if (design.pixelHeight != 0) font.height = -design.pixelHeight;
  font.bold = design.bold;
  SetFont(widget, font);
}
