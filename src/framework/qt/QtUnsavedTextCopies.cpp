// The RuntimeServices operations for copies of unsaved text: private folders and
// files, the running copies, the delayed and background work that autosave uses.
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "framework/TextCodec.h"
#include "framework/platform/BackgroundJobs.h"
#include "framework/platform/PrivateFiles.h"
#include "framework/qt/QtRuntimeServices.h"

namespace {
std::string NativePath(const Text& path) { return Utf8FromText(path); }
// Work still queued at exit may take this long to finish (a disk that is slow to flush).
constexpr std::chrono::seconds kBackgroundWorkAtExit{10};
}  // namespace

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

int QtRuntimeServices::ProcessId() { return static_cast<int>(::getpid()); }

bool QtRuntimeServices::IsProgramRunning(int processId) { return IsSameProgramRunning(processId); }

void QtRuntimeServices::ReportProblem(const Text& line) {
  std::fprintf(stderr, "orvane-notepad: %s\n", Utf8FromText(line).c_str());
  std::fflush(stderr);
}

void QtRuntimeServices::RunLater(int milliseconds, std::function<void()> work) {
  QTimer::singleShot(std::max(milliseconds, 0), QCoreApplication::instance(), std::move(work));
}

void QtRuntimeServices::RunInBackground(std::function<void()> work) {
  background_->Add(std::move(work));
}

bool QtRuntimeServices::FinishBackgroundWork() { return background_->Drain(kBackgroundWorkAtExit); }
