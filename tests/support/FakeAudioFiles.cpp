#include "support/FakeRuntimeServices.h"

int FakeRuntimeServices::OpenAudioFile(const Text& path, int sampleRate) {
  std::lock_guard lock(mutex_);
  if (!Writable(path)) {
    fileProblem = FileProblem::NoPermission;
    return 0;
  }
  audioFiles_[++lastAudioFile_] = {path, sampleRate, {}, false};
  return lastAudioFile_;
}

bool FakeRuntimeServices::WriteAudioFile(int file, const std::uint8_t* pcm, std::size_t bytes) {
  std::lock_guard lock(mutex_);
  const auto found = audioFiles_.find(file);
  if (found == audioFiles_.end() || found->second.completed) return false;
  found->second.pcm.insert(found->second.pcm.end(), pcm, pcm + bytes);
  return true;
}

bool FakeRuntimeServices::CompleteAudioFile(int file) {
  std::lock_guard lock(mutex_);
  const auto found = audioFiles_.find(file);
  if (found == audioFiles_.end()) return false;
  found->second.completed = true;
  return true;
}

bool FakeRuntimeServices::KeepAudioFile(int file, bool keep) {
  std::lock_guard lock(mutex_);
  const auto found = audioFiles_.find(file);
  if (found == audioFiles_.end()) return false;
  AudioFile audio = std::move(found->second);
  audioFiles_.erase(found);
  if (!keep) return true;
  if (!audio.completed) return false;
  // The canonical 44-byte header of 16-bit mono PCM.
  const auto size = static_cast<std::uint32_t>(audio.pcm.size());
  const auto rate = static_cast<std::uint32_t>(audio.rate);
  ByteBuffer image;
  const auto text = [&](const char* four) { image.insert(image.end(), four, four + 4); };
  const auto number = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) image.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  text("RIFF");
  number(size + 36, 4);
  text("WAVE");
  text("fmt ");
  number(16, 4);
  number(1, 2);
  number(1, 2);
  number(rate, 4);
  number(rate * 2, 4);
  number(2, 2);
  number(16, 2);
  text("data");
  number(size, 4);
  image.insert(image.end(), audio.pcm.begin(), audio.pcm.end());
  files_[audio.path] = std::move(image);
  return true;
}
