#include "framework/qt/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace {

// Font style names stay as the fonts spell them: Qt 6.4's font dialog cannot match a
// translated style name back to its weight (a chosen "粗体" came back as regular).
class QtTextsTranslator : public QTranslator {
 public:
  using QTranslator::QTranslator;
  QString translate(const char* context, const char* source, const char* disambiguation,
                    int n) const override {
    if (qstrcmp(context, "QFontDatabase") == 0) return QString();
    return QTranslator::translate(context, source, disambiguation, n);
  }
};

}  // namespace

bool InstallQtTranslations() {
  // Dates, sizes and file types in the file dialogs follow the default locale.
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  // Owned by the application, so a new application loads them afresh.
  static QPointer<QTranslator> translator;
  if (translator) return true;
  auto* loaded = new QtTextsTranslator(QCoreApplication::instance());
  if (!loaded->load(QStringLiteral("qtbase_zh_CN"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete loaded;
    return false;
  }
  QCoreApplication::installTranslator(loaded);
  translator = loaded;
  return true;
}
