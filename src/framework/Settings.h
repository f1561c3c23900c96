#pragma once

#include "framework/Types.h"

// Values remembered between runs, by key ("group/name").
class Settings {
 public:
  virtual ~Settings() = default;

  // The value remembered under the key; empty when none.
  virtual Text GetSetting(const Text& key) = 0;
  // Whether anything is stored under the key at all (an empty value counts).
  virtual bool HasSetting(const Text& key) = 0;
  // Remembers the value at once; false when it could not be stored.
  virtual bool SetSetting(const Text& key, const Text& value) = 0;
};
