// QtRuntimeServices: the user's configuration folder, the settings file's.
#include <QDir>
#include <QFileInfo>

#include "framework/TextCodec.h"
#include "framework/qt/ProgramSettings.h"
#include "framework/qt/QtRuntimeServices.h"

Text QtRuntimeServices::ConfigDirectory() {
  const QString folder = QFileInfo(ProgramSettings::FilePath()).absolutePath();
  if (!QDir().mkpath(folder)) return Text();
  return TextFromUtf8(folder.toStdString());
}
