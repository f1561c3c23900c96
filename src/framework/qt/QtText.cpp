#include "framework/qt/QtText.h"

#include "framework/TextCodec.h"

QString ToQString(const Text& text) { return QString::fromStdString(Utf8FromText(text)); }

Text FromQString(const QString& text) { return TextFromUtf8(text.toStdString()); }

QString EditorStringFromText(const Text& text) {
  return QString::fromStdU16String(EditorUnitsFromText(text));
}

Text TextFromEditorString(const QString& text) {
  return TextFromEditorUnits(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()));
}
