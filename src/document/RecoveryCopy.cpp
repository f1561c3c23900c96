#include "document/RecoveryCopy.h"

#include <string>

#include "document/ScriptEncoding.h"
#include "framework/TextOperations.h"

namespace {

// Enough for any burst of signals within one second.
constexpr int kNamesPerSecond = 100;

Text CreateNumberedCopy(Uses<FileSystem, Threads> services, const Text& folder,
                        const ByteBuffer& bytes) {
  if (folder.empty()) return Text();
  const Text stem = folder + "/recovered-" + services.Get<Threads>().LocalTimeStamp();
  for (int number = 1; number <= kNamesPerSecond; ++number) {
    const Text path = stem + (number == 1 ? Text() : "-" + std::to_string(number)) + ".txt";
    // A new name only: an earlier copy, or whatever else has the name, stays as it is.
    switch (services.Get<FileSystem>().CreatePrivateFile(path, {bytes})) {
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

ByteBuffer ScriptBytesOrEditorBytes(const Text& text, TextEncoding& encoding) {
  if (std::optional<ByteBuffer> bytes = EncodeScript(text, encoding)) return *bytes;
  encoding = TextEncoding::Gbk;
  return ToBytes(text);
}

Text KeepRecoveredBytes(Uses<FileSystem, Threads, Processes> services, const ByteBuffer& bytes) {
  auto& files = services.Get<FileSystem>();
  const Text state = files.StateDirectory();
  if (Text path = CreateNumberedCopy(services, state, bytes); !path.empty()) return path;
  const Text fallback = files.FallbackDirectory();
  const Text path = CreateNumberedCopy(services, fallback, bytes);
  if (!path.empty())
    services.Get<Processes>().ReportProblem("the state folder " +
                                            (state.empty() ? Text("(none)") : state) +
                                            " cannot be written; the copy went to " + fallback);
  return path;
}

Text WriteRecoveryCopy(Uses<FileSystem, Threads, Processes> services, const Text& text,
                       TextEncoding encoding) {
  return KeepRecoveredBytes(services, ScriptBytesOrEditorBytes(text, encoding));
}
