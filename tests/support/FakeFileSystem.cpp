#include "support/FakeRuntimeServices.h"

#include <algorithm>

#include "framework/platform/FileProblems.h"

bool FakeRuntimeServices::FileExists(const Text& path) {
  std::lock_guard lock(mutex_);
  return files_.count(path) > 0;
}

ByteBuffer FakeRuntimeServices::ReadFileBytes(const Text& path) {
  std::lock_guard lock(mutex_);
  auto found = files_.find(path);
  return found == files_.end() ? ByteBuffer() : found->second;
}

thread_local FileProblem FakeRuntimeServices::fileProblem = FileProblem::None;

std::optional<ByteBuffer> FakeRuntimeServices::ReadRegularFile(const Text& path,
                                                               std::uint64_t maximumSize) {
  std::lock_guard lock(mutex_);
  auto found = files_.find(path);
  if (found == files_.end() || found->second.size() > maximumSize) {
    fileProblem = found == files_.end() ? FileProblem::NotFound : FileProblem::TooLarge;
    return std::nullopt;
  }
  return found->second;
}

bool FakeRuntimeServices::Writable(const Text& path) const {
  std::lock_guard lock(mutex_);
  const Text folder = path.substr(0, path.rfind('/'));
  auto listed = [this](const Text& name) {
    return std::find(unwritablePaths.begin(), unwritablePaths.end(), name) != unwritablePaths.end();
  };
  return !path.empty() && !listed(path) && !listed(folder);
}

Text FakeRuntimeServices::PrivateFolder(const Text& folder) {
  std::lock_guard lock(mutex_);
  const bool refused = folder.empty() || std::find(unusableFolders.begin(), unusableFolders.end(),
                                                   folder) != unusableFolders.end();
  return refused ? Text() : folder;
}

PrivateFileCreation FakeRuntimeServices::CreatePrivateFile(const Text& path,
                                                           const std::vector<ByteBuffer>& buffers) {
  std::lock_guard lock(mutex_);
  if (files_.count(path) || danglingLinks.count(path)) return PrivateFileCreation::Taken;
  return CreateFileBytes(path, buffers) ? PrivateFileCreation::Created
                                        : PrivateFileCreation::Failed;
}

bool FakeRuntimeServices::ReplacePrivateFile(const Text& path,
                                             const std::vector<ByteBuffer>& buffers) {
  std::lock_guard lock(mutex_);
  if (!ReplaceFileBytes(path, buffers)) return false;
  danglingLinks.erase(path);  // replaced, not followed
  return true;
}

std::vector<Text> FakeRuntimeServices::FilesInFolder(const Text& folder) {
  std::lock_guard lock(mutex_);
  std::vector<Text> names;
  const Text prefix = folder + "/";
  for (const auto& [path, bytes] : files_) {
    if (path.compare(0, prefix.size(), prefix) == 0 && path.find('/', prefix.size()) == Text::npos)
      names.push_back(path.substr(prefix.size()));
  }
  return names;
}

bool FakeRuntimeServices::RemoveFile(const Text& path) {
  std::lock_guard lock(mutex_);
  return files_.erase(path) > 0;
}

bool FakeRuntimeServices::WriteFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  std::lock_guard lock(mutex_);
  Record(WriteFileCall{path});
  if (!Writable(path)) return false;
  ByteBuffer& file = files_[path];
  file.clear();
  for (const ByteBuffer& buffer : buffers) file.insert(file.end(), buffer.begin(), buffer.end());
  return true;
}

bool FakeRuntimeServices::CreateFileBytes(const Text& path,
                                          const std::vector<ByteBuffer>& buffers) {
  std::lock_guard lock(mutex_);
  Record(CreateFileCall{path});
  if (!Writable(path) || files_.count(path)) return false;
  ByteBuffer& file = files_[path];
  for (const ByteBuffer& buffer : buffers) file.insert(file.end(), buffer.begin(), buffer.end());
  return true;
}

bool FakeRuntimeServices::ReplaceFileBytes(const Text& path,
                                           const std::vector<ByteBuffer>& buffers) {
  std::lock_guard lock(mutex_);
  Record(ReplaceFileCall{path});
  if (!Writable(path)) {
    fileProblem = FileProblem::NoPermission;
    return false;
  }
  ByteBuffer file;
  for (const ByteBuffer& buffer : buffers) file.insert(file.end(), buffer.begin(), buffer.end());
  files_[path] = std::move(file);
  return true;
}

bool FakeRuntimeServices::IsSameFile(const Text& first, const Text& second) {
  std::lock_guard lock(mutex_);
  return first == second && files_.count(first) > 0;
}

bool FakeRuntimeServices::SaveFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) {
  return ReplaceFileBytes(path, buffers);
}

int FakeRuntimeServices::OpenFile(const Text& path, int mode, int sharing) {
  const int file = openFiles_.Open(path, mode, sharing);
  if (file == 0) fileProblem = ::LastFileProblem();
  return file;
}

Text FakeRuntimeServices::ReadText(int file, std::optional<int> count) {
  return openFiles_.ReadText(file, count);
}

bool FakeRuntimeServices::WriteText(int file, const std::vector<Value>& values) {
  std::vector<Text> texts;
  for (const Value& value : values) texts.push_back(value.AsText());
  return openFiles_.WriteText(file, texts);
}

void FakeRuntimeServices::CloseFile(int file) { openFiles_.Close(file); }
