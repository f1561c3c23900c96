#include "framework/qt/QtText.h"

#include "framework/TextCodec.h"

QString ToQString(const Text& text) { return QString::fromStdString(Utf8FromText(text)); }

Text FromQString(const QString& text) { return TextFromUtf8(text.toStdString()); }

QString EditorStringFromText(const Text& text) {
  const QString decoded = ToQString(text);
  QString result;
  result.reserve(decoded.size());
  for (qsizetype i = 0; i < decoded.size(); ++i) {
    const QChar c = decoded.at(i);
    if (c == u'\r' && i + 1 < decoded.size() && decoded.at(i + 1) == u'\n') {
      result.append(u'\n');
      ++i;
    } else if (c == u'\n') {
      result.append(QChar(kBareLineFeed));
    } else if (c == u'\r') {
      result.append(QChar(kBareCarriageReturn));
    } else {
      result.append(c);
    }
  }
  return result;
}

Text TextFromEditorString(const QString& text) {
  QString restored;
  restored.reserve(text.size() + text.size() / 16);
  for (QChar c : text) {
    if (c == u'\n' || c == QChar::ParagraphSeparator) {
      restored.append(u"\r\n");
    } else if (c == QChar(kBareLineFeed)) {
      restored.append(u'\n');
    } else if (c == QChar(kBareCarriageReturn)) {
      restored.append(u'\r');
    } else {
      restored.append(c);
    }
  }
  return FromQString(restored);
}
