#include "framework/qt/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

bool InstallQtTranslations() {
  // Dates, sizes and file types in the file dialogs follow the default locale.
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  // Owned by the application, so a new application loads them afresh.
  static QPointer<QTranslator> translator;
  if (translator) return true;
  auto* loaded = new QTranslator(QCoreApplication::instance());
  if (!loaded->load(QStringLiteral("qtbase_zh_CN"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete loaded;
    return false;
  }
  QCoreApplication::installTranslator(loaded);
  translator = loaded;
  return true;
}
