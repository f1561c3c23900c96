#include "document/RecoveryCopy.h"

#include <string>

#include "document/ScriptEncoding.h"

namespace {
// Enough for any burst of signals within one second.
constexpr int kNamesPerSecond = 100;
}  // namespace

Text WriteRecoveryCopy(RuntimeServices& services, const Text& text, TextEncoding encoding) {
  const Text folder = services.StateDirectory();
  if (folder.empty()) return Text();
  // A text the file's encoding cannot hold is kept as the editor holds it (GB18030)
  // rather than lost.
  const ByteBuffer bytes = EncodeScript(text, encoding).value_or(services.ToBytes(text));
  const Text stem = folder + "/recovered-" + services.LocalTimeStamp();
  for (int number = 1; number <= kNamesPerSecond; ++number) {
    const Text path = stem + (number == 1 ? Text() : "-" + std::to_string(number)) + ".txt";
    // A new name only: an earlier recovery copy is never overwritten.
    if (services.CreateFileBytes(path, {bytes})) return path;
    if (!services.FileExists(path)) return Text();
  }
  return Text();
}
