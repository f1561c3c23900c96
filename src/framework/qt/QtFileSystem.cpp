// QtRuntimeServices: open files, whole files, the user's files, the program's folders and
// the private copies of unsaved text (framework/platform does the work).
#include "framework/qt/QtRuntimeServices.h"

#include <unistd.h>
#include <QDir>
#include <QFileInfo>

#include "framework/TextCodec.h"
#include "framework/platform/FileProblems.h"
#include "framework/platform/PrivateFiles.h"
#include "framework/platform/ProgramLocation.h"
#include "framework/platform/StateFolder.h"
#include "framework/platform/WholeFiles.h"
#include "framework/platform/WorkerThreads.h"
#include "framework/qt/ProgramSettings.h"

namespace {

// File names on Linux are UTF-8 bytes.
std::string NativePath(const Text& path) { return Utf8FromText(path); }

}  // namespace

int QtRuntimeServices::OpenFile(const Text& path, int mode, int sharing) {
  return files_.Open(NativePath(path), mode, sharing);
}

Text QtRuntimeServices::ReadText(int file, std::optional<int> count) {
  return files_.ReadText(file, count);
}

bool QtRuntimeServices::WriteText(int file, const std::vector<Value>& values) {
  std::vector<Text> texts;
  texts.reserve(values.size());
  for (const Value& value : values) texts.push_back(value.AsText());
  return files_.WriteText(file, texts);
}

void QtRuntimeServices::CloseFile(int file) { files_.Close(file); }

bool QtRuntimeServices::FileExists(const Text& path) { return PathExists(NativePath(path)); }

ByteBuffer QtRuntimeServices::ReadFileBytes(const Text& path) {
  return ReadWholeFile(NativePath(path));
}

std::optional<ByteBuffer> QtRuntimeServices::ReadRegularFile(const Text& path,
                                                             std::uint64_t maximumSize) {
  return ::ReadRegularFile(NativePath(path), maximumSize);
}

bool QtRuntimeServices::WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  return WriteWholeFile(NativePath(path), buffers);
}

bool QtRuntimeServices::CreateFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  return WriteFileAtomically(NativePath(path), buffers, false);
}

bool QtRuntimeServices::ReplaceFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  return WriteFileAtomically(NativePath(path), buffers, true);
}

FileProblem QtRuntimeServices::LastFileProblem() { return ::LastFileProblem(); }

bool QtRuntimeServices::IsSameFile(const Text& first, const Text& second) {
  return ::IsSameFile(NativePath(first), NativePath(second));
}

bool QtRuntimeServices::SaveFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  const void* worker = WorkerThreads::CurrentToken();
  return SaveUserFile(NativePath(path), buffers,
                      [worker] { return !worker || !WorkerThreads::StopRequested(worker); });
}

Text QtRuntimeServices::ProgramDirectory() { return TextFromUtf8(ExecutableDirectory()); }

Text QtRuntimeServices::StateDirectory() { return TextFromUtf8(StateFolder()); }

Text QtRuntimeServices::ConfigDirectory() {
  const QString folder = QFileInfo(ProgramSettings::FilePath()).absolutePath();
  if (!QDir().mkpath(folder)) return Text();
  return TextFromUtf8(folder.toStdString());
}

Text QtRuntimeServices::PrivateFolder(const Text& folder) {
  return MakePrivateFolder(NativePath(folder)) ? folder : Text();
}

Text QtRuntimeServices::FallbackDirectory() { return TextFromUtf8(FallbackFolder()); }

PrivateFileCreation QtRuntimeServices::CreatePrivateFile(const Text& path,
                                                         const std::vector<ByteBuffer>& buffers) {
  switch (::CreatePrivateFile(NativePath(path), buffers)) {
    case PrivateCreation::Created:
      return PrivateFileCreation::Created;
    case PrivateCreation::Taken:
      return PrivateFileCreation::Taken;
    case PrivateCreation::Failed:
      break;
  }
  return PrivateFileCreation::Failed;
}

bool QtRuntimeServices::ReplacePrivateFile(const Text& path,
                                           const std::vector<ByteBuffer>& buffers) {
  return ::ReplacePrivateFile(NativePath(path), buffers);
}

std::vector<Text> QtRuntimeServices::FilesInFolder(const Text& folder) {
  std::vector<Text> names;
  for (const std::string& name : RegularFilesIn(NativePath(folder)))
    names.push_back(TextFromUtf8(name));
  return names;
}

bool QtRuntimeServices::RemoveFile(const Text& path) {
  return ::unlink(NativePath(path).c_str()) == 0;
}
