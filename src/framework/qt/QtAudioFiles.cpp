// QtRuntimeServices: audio files written as they are made (framework/platform's
// AudioFileWriter), by handle.
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/TextCodec.h"
#include "framework/platform/AudioFileWriter.h"
#include "framework/qt/QtRuntimeServices.h"

namespace {

std::mutex mutex;
std::map<int, std::unique_ptr<AudioFileWriter>> writers;
int lastHandle = 0;

AudioFileWriter* Find(int file) {
  const auto found = writers.find(file);
  return found == writers.end() ? nullptr : found->second.get();
}

}  // namespace

int QtRuntimeServices::OpenAudioFile(const Text& path, int sampleRate) {
  auto writer = AudioFileWriter::Open(Utf8FromText(path), sampleRate);
  if (!writer) return 0;
  std::lock_guard lock(mutex);
  writers.emplace(++lastHandle, std::move(writer));
  return lastHandle;
}

bool QtRuntimeServices::WriteAudioFile(int file, const std::uint8_t* pcm, std::size_t bytes) {
  std::lock_guard lock(mutex);
  AudioFileWriter* writer = Find(file);
  if (!writer) return false;
  std::vector<std::int16_t> samples(bytes / 2);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<std::int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
  return writer->Write(samples.data(), samples.size());
}

bool QtRuntimeServices::CompleteAudioFile(int file) {
  std::lock_guard lock(mutex);
  AudioFileWriter* writer = Find(file);
  return writer && writer->Complete();
}

bool QtRuntimeServices::KeepAudioFile(int file, bool keep) {
  std::lock_guard lock(mutex);
  AudioFileWriter* writer = Find(file);
  const bool ok = writer && writer->Keep(keep);
  writers.erase(file);
  return ok;
}
