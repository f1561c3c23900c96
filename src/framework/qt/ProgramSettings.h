#pragma once

#include <QString>
#include <optional>

// What the program remembers between runs: QSettings' INI format in
// $XDG_CONFIG_HOME/orvane-notepad/orvane-notepad.conf (~/.config when unset), read and
// written at each call, so that every value is on disk at once.
class ProgramSettings {
 public:
  static QString FilePath();
  // The value under "group/name"; nothing when none is stored.
  static std::optional<QString> Get(const QString& key);
  // False when the file could not be written.
  static bool Set(const QString& key, const QString& value);
};
