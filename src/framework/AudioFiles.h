#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/Types.h"

// Audio files written as they are made (narration export). A temporary file beside
// path, in the format its name asks for (.wav, RF64 once past 4 GB; .flac; .ogg Vorbis;
// .opus; .mp3), takes 16-bit little-endian mono PCM and the name only once kept, so
// memory stays flat however long the audio.
class AudioFiles {
 public:
  virtual ~AudioFiles() = default;

  // A handle above 0, or 0 when the name is none of those formats or the folder cannot
  // be written to.
  virtual int OpenAudioFile(const Text& path, int sampleRate) = 0;
  virtual bool WriteAudioFile(int file, const std::uint8_t* pcm, std::size_t bytes) = 0;
  // Finishes the encoding and closes the file.
  virtual bool CompleteAudioFile(int file) = 0;
  // Names the completed file (keep) or removes it, and releases the handle.
  virtual bool KeepAudioFile(int file, bool keep) = 0;
};
