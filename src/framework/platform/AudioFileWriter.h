#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Audio written as it is made, in the format the file name asks for (libsndfile):
// .wav (16-bit PCM, RF64 once it passes 4 GB), .flac, .ogg (Vorbis), .opus, .mp3. The
// samples go to a temporary file beside the name (.NAME.tmp-N), which takes the name
// only on Keep; until then a signal's handler can remove it (RemoveUnfinishedAudioFiles).
class AudioFileWriter {
 public:
  // Null when the name's format is none of the above or the folder cannot be written to.
  static std::unique_ptr<AudioFileWriter> Open(const std::string& path, int sampleRate);
  ~AudioFileWriter();  // removes the temporary file unless it was kept

  bool Write(const std::int16_t* samples, std::size_t count);
  // Writes what the encoder holds and closes the file; it stays temporary.
  bool Complete();
  // Gives a completed file its name (true), or removes it (false: always succeeds).
  bool Keep(bool keep);

  // The format the name asks for, as libsndfile's format number; 0 for none.
  static int FormatFor(const std::string& path);

  struct State;

 private:
  explicit AudioFileWriter(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Removes the temporary files of writers not yet kept or removed. Async-signal-safe: for
// the handler of SIGTERM or SIGINT in the command-line export.
void RemoveUnfinishedAudioFiles();
