// AudioFileWriter: each format it writes, read back by ffprobe; what it leaves behind.
#include "framework/platform/AudioFileWriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

class AudioFileWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("audio-writer-" + std::to_string(::getpid()));
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename());
    return names;
  }
  fs::path folder;
};

TEST_F(AudioFileWriterTest, EachFormatIsWhatItsNameSaysAndAsLongAsWhatWasWritten) {
  // 1.5 s of a 440 Hz tone at 16 kHz, written in pieces as the export does.
  std::vector<std::int16_t> tone(24000);
  for (std::size_t i = 0; i < tone.size(); ++i)
    tone[i] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * i / 16000.0));
  const std::vector<std::pair<std::string, std::string>> formats = {
      {"wav", "pcm_s16le"}, {"flac", "flac"}, {"ogg", "vorbis"}, {"opus", "opus"}, {"MP3", "mp3"}};
  for (const auto& [extension, codec] : formats) {
    const std::string path = (folder / ("n." + extension)).string();
    auto writer = AudioFileWriter::Open(path, 16000);
    ASSERT_TRUE(writer) << extension;
    for (std::size_t at = 0; at < tone.size(); at += 8000)
      ASSERT_TRUE(writer->Write(tone.data() + at, 8000));
    EXPECT_FALSE(fs::exists(path)) << "named before it is complete";
    ASSERT_TRUE(writer->Complete());
    ASSERT_TRUE(writer->Keep(true));
    const std::string probe = Output(
        "ffprobe -v error -show_entries stream=codec_name,channels:format=duration -of "
        "default=noprint_wrappers=1 '" +
        path + "'");
    EXPECT_NE(probe.find("codec_name=" + codec), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=1"), std::string::npos) << probe;
    const auto at = probe.find("duration=");
    ASSERT_NE(at, std::string::npos) << probe;
    EXPECT_NEAR(std::stod(probe.substr(at + 9)), 1.5, 0.1) << extension;
  }
  EXPECT_EQ(Names().size(), formats.size()) << "a temporary file was left";
}

TEST_F(AudioFileWriterTest, NothingIsLeftUnlessKeptAndBadNamesAreRefused) {
  const std::int16_t samples[4] = {1, 2, 3, 4};
  {
    auto dropped = AudioFileWriter::Open((folder / "a.wav").string(), 16000);
    ASSERT_TRUE(dropped);
    ASSERT_TRUE(dropped->Write(samples, 4));
    EXPECT_EQ(Names().size(), 1u);  // the temporary file
  }
  auto removed = AudioFileWriter::Open((folder / "b.flac").string(), 16000);
  ASSERT_TRUE(removed && removed->Write(samples, 4) && removed->Complete());
  EXPECT_TRUE(removed->Keep(false));
  auto signalled = AudioFileWriter::Open((folder / "c.ogg").string(), 16000);
  ASSERT_TRUE(signalled);
  RemoveUnfinishedAudioFiles();  // what the command line's signal handler calls
  EXPECT_TRUE(Names().empty());
  EXPECT_FALSE(AudioFileWriter::Open((folder / "n.txt").string(), 16000));
  EXPECT_FALSE(AudioFileWriter::Open((folder / "missing" / "n.wav").string(), 16000));
  EXPECT_TRUE(Names().empty());
}

}  // namespace
