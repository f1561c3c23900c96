#include "framework/qt/ProgramSettings.h"

#include <QSettings>
#include <QStandardPaths>

QString ProgramSettings::FilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/orvane-notepad/orvane-notepad.conf";
}

std::optional<QString> ProgramSettings::Get(const QString& key) {
  const QSettings settings(FilePath(), QSettings::IniFormat);
  const QVariant value = settings.value(key);
  if (!value.isValid()) return std::nullopt;
  return value.toString();
}

bool ProgramSettings::Set(const QString& key, const QString& value) {
  QSettings settings(FilePath(), QSettings::IniFormat);
  settings.setValue(key, value);
  settings.sync();
  return settings.status() == QSettings::NoError;
}
