#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "framework/FileSystem.h"
#include "framework/Libraries.h"
#include "framework/Uses.h"

// The program's one object over the audio library bass.dll. It adds default
// arguments, the choice of a stream's source and one guard, and keeps no playback
// state: only the services it reaches the world through and the library functions
// it has bound (each by name, on its first call). Results are the library's.
class AudioPlayer {
 public:
  using Handle = std::uint32_t;  // a stream; 0 is none, and the library's failure

  // Writes bass.dll into the program's folder unless a file of that name is there.
  explicit AudioPlayer(Uses<FileSystem, Libraries> services);
  virtual ~AudioPlayer();

  // An independent player over the same services; it writes no file.
  virtual std::unique_ptr<AudioPlayer> Clone() const;

  // BASS_Init: default device (-1), 44100 Hz, no flags, no window.
  virtual bool InitDevice(std::optional<int> device = std::nullopt,
                          std::optional<int> frequency = std::nullopt,
                          std::optional<int> flags = std::nullopt,
                          std::optional<int> window = std::nullopt);
  virtual bool FreeDevice();
  // A file stream when the file exists (from offset, sign-extended), else a memory
  // stream over the whole buffer (read in place: keep it alive and unchanged until
  // FreeStream), else a URL stream (offset as 32 bits); 0 without any library call
  // when all three are empty.
  virtual Handle CreateStream(const Text& fileName, const ByteBuffer& buffer, const Text& url,
                              std::optional<std::int32_t> offset = std::nullopt);
  // A stream of 16-bit PCM that the caller pushes as it is made; 0 on failure. It
  // stalls (silent, position standing) while nothing is queued and ends after the
  // data pushed with end. Its position counts what has been heard; do not set it.
  virtual Handle CreatePushStream(int frequency, int channels);
  // Queues bytes on a push stream (end: no more will come). The bytes still queued,
  // or -1 when the handle is no push stream or the stream has ended.
  virtual std::int64_t PushData(Handle handle, const void* data, std::size_t bytes, bool end);
  // Handle 0 is refused without calling the library. Restarts by default.
  virtual bool Play(Handle handle, std::optional<bool> restart = std::nullopt);
  virtual bool Pause(Handle handle);
  virtual bool Stop(Handle handle);
  // Bytes of the decoded 16-bit PCM; -1 on failure.
  virtual std::int64_t GetPosition(Handle handle);
  virtual bool SetPosition(Handle handle, std::int64_t position);
  virtual std::int64_t GetLength(Handle handle);
  // The ID3v1 block up to its first zero byte; empty when there is none.
  virtual Text GetTags(Handle handle);
  // 0 stopped, 1 playing, 2 stalled, 3 paused.
  virtual int IsActive(Handle handle);
  virtual bool FreeStream(Handle handle);
  // Replaces values with 128 FFT magnitudes (zero where the library wrote nothing);
  // returns the bytes written or -1.
  virtual std::int32_t GetSpectrum(Handle handle, std::vector<float>& values);
  virtual bool SetChannelVolume(Handle handle, float volume);
  virtual bool GetChannelVolume(Handle handle, float& volume);
  virtual bool SetMasterVolume(float volume);
  virtual float GetMasterVolume();
  virtual double BytesToSeconds(Handle handle, std::int64_t bytes);
  virtual std::int64_t SecondsToBytes(Handle handle, double seconds);

 protected:
  AudioPlayer(const AudioPlayer& other);

 private:
  struct Library;

  Uses<FileSystem, Libraries> services_;
  std::unique_ptr<Library> library_;
};
