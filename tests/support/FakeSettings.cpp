#include "support/FakeRuntimeServices.h"

Text FakeRuntimeServices::GetSetting(const Text& key) {
  std::lock_guard lock(mutex_);
  const auto found = settings.find(key);
  return found == settings.end() ? Text() : found->second;
}

bool FakeRuntimeServices::SetSetting(const Text& key, const Text& value) {
  std::lock_guard lock(mutex_);
  settings[key] = value;
  return true;
}

bool FakeRuntimeServices::HasSetting(const Text& key) {
  std::lock_guard lock(mutex_);
  return settings.count(key) != 0;
}
