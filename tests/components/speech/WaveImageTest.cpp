#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "speech/WaveImage.h"

namespace {

namespace fs = std::filesystem;

// Python's own readers: the chunk list with sizes, then what the wave module sees.
constexpr const char* kReadBack = R"(
import sys, wave, chunk
path = sys.argv[1]
with open(path, 'rb') as f:
    riff = chunk.Chunk(f, bigendian=False)
    print(riff.getname().decode(), riff.getsize())
    print(riff.read(4).decode())
    while True:
        try:
            c = chunk.Chunk(riff, bigendian=False)
        except EOFError:
            break
        print(c.getname().decode(), c.getsize())
        if c.getname() == b'data':
            break  # the last chunk; an odd one has no pad byte to skip
        c.skip()
w = wave.open(path, 'rb')
print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())
print(w.readframes(w.getnframes() + 1).hex())
)";

std::string Hex(const ByteBuffer& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

class WaveImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("wave-image-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "read_back.py") << kReadBack;
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string Save(const ByteBuffer& image) {
    const fs::path path = folder / "image.wav";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    return path.string();
  }
  std::string Python(const std::string& path) {
    return Output("python3 -W ignore " + (folder / "read_back.py").string() + " " + path);
  }
  std::string Soxi(const std::string& option, const std::string& path) {
    return Output("soxi " + option + " " + path + " 2>&1");
  }

  // Saves the image of pcm and reads it back: the file is the RIFF chunk of riffSize bytes
  // plus its 8-byte head, holding a 16-byte fmt chunk and then the data chunk with pcm
  // unchanged; mono 16-bit at 16 kHz, with `frames` frames for both Python and soxi.
  // The saved path, for more checks.
  std::string SaveAndReadBack(const ByteBuffer& pcm, std::size_t riffSize, std::size_t frames) {
    const ByteBuffer image = BuildWaveImage(pcm);
    EXPECT_EQ(image.size(), riffSize + 8);
    const std::string path = Save(image);
    EXPECT_EQ(Python(path), "RIFF " + std::to_string(riffSize) + "\nWAVE\nfmt  16\ndata " +
                                std::to_string(pcm.size()) + "\n1 2 16000 " +
                                std::to_string(frames) + "\n" + Hex(pcm) + "\n");
    EXPECT_EQ(Soxi("-s", path), std::to_string(frames) + "\n");
    return path;
  }

  fs::path folder;
};

// A recognisable signal: a rising sawtooth, different in every byte position.
ByteBuffer Samples(std::size_t bytes) {
  ByteBuffer pcm(bytes);
  for (std::size_t i = 0; i < bytes; ++i) pcm[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return pcm;
}

TEST_F(WaveImageTest, EmptyPcmIsAHeaderOfFortyFourBytesWithSizes36And0) {
  const std::string path = SaveAndReadBack({}, 36, 0);
  EXPECT_EQ(Soxi("-c", path), "1\n");
  EXPECT_EQ(Soxi("-r", path), "16000\n");
  EXPECT_EQ(Soxi("-b", path), "16\n");
  EXPECT_EQ(Soxi("-e", path), "Signed Integer PCM\n");
}

TEST_F(WaveImageTest, OneSecondOfPcmReadsBackAsOneSecondOfTheSameSamples) {
  const std::string path = SaveAndReadBack(Samples(32000), 32036, 16000);
  EXPECT_EQ(Soxi("-D", path), "1.000000\n");
  EXPECT_EQ(Soxi("-r", path), "16000\n");
}

TEST_F(WaveImageTest, AnOddLengthIsKeptWithoutAPadByte) { SaveAndReadBack(Samples(33), 69, 16); }

}  // namespace
