#include "document/RecoveryCopy.h"

#include <string>

#include "document/ScriptEncoding.h"

namespace {

// Enough for any burst of signals within one second.
constexpr int kNamesPerSecond = 100;

Text CreateNumberedCopy(RuntimeServices& services, const Text& folder, const ByteBuffer& bytes) {
  if (folder.empty()) return Text();
  const Text stem = folder + "/recovered-" + services.LocalTimeStamp();
  for (int number = 1; number <= kNamesPerSecond; ++number) {
    const Text path = stem + (number == 1 ? Text() : "-" + std::to_string(number)) + ".txt";
    // A new name only: an earlier copy, or whatever else has the name, stays as it is.
    switch (services.CreatePrivateFile(path, {bytes})) {
      case PrivateFileCreation::Created:
        return path;
      case PrivateFileCreation::Taken:
        continue;
      case PrivateFileCreation::Failed:
        return Text();
    }
  }
  return Text();
}

}  // namespace

ByteBuffer ScriptBytesOrEditorBytes(RuntimeServices& services, const Text& text,
                                    TextEncoding& encoding) {
  if (std::optional<ByteBuffer> bytes = EncodeScript(text, encoding)) return *bytes;
  encoding = TextEncoding::Gbk;
  return services.ToBytes(text);
}

Text KeepRecoveredBytes(RuntimeServices& services, const ByteBuffer& bytes) {
  const Text state = services.StateDirectory();
  if (Text path = CreateNumberedCopy(services, state, bytes); !path.empty()) return path;
  const Text fallback = services.FallbackDirectory();
  const Text path = CreateNumberedCopy(services, fallback, bytes);
  if (!path.empty())
    services.ReportProblem("the state folder " + (state.empty() ? Text("(none)") : state) +
                           " cannot be written; the copy went to " + fallback);
  return path;
}

Text WriteRecoveryCopy(RuntimeServices& services, const Text& text, TextEncoding encoding) {
  return KeepRecoveredBytes(services, ScriptBytesOrEditorBytes(services, text, encoding));
}
