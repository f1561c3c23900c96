// QtRuntimeServices: the values remembered between runs (the settings file).
#include "framework/qt/QtRuntimeServices.h"

#include "framework/qt/ProgramSettings.h"
#include "framework/qt/QtText.h"

Text QtRuntimeServices::GetSetting(const Text& key) {
  return FromQString(ProgramSettings::Get(ToQString(key)).value_or(QString()));
}

bool QtRuntimeServices::HasSetting(const Text& key) {
  return ProgramSettings::Get(ToQString(key)).has_value();
}

bool QtRuntimeServices::SetSetting(const Text& key, const Text& value) {
  return ProgramSettings::Set(ToQString(key), ToQString(value));
}
