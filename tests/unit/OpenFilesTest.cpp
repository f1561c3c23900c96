#include "framework/platform/OpenFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "framework/platform/WholeFiles.h"

namespace {

namespace fs = std::filesystem;

class OpenFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("open-files-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    path = (folder / "script.txt").string();
  }
  void TearDown() override { fs::remove_all(folder); }

  void Write(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  std::string Read() {
    const ByteBuffer bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
  }

  fs::path folder;
  std::string path;
  OpenFiles files;
};

TEST_F(OpenFilesTest, ModesDecideExistenceCreationAndEmptying) {
  EXPECT_EQ(files.Open(path, 1, 1), 0) << "read-only needs the file";
  EXPECT_EQ(files.Open(path, 2, 1), 0);
  EXPECT_EQ(files.Open(path, 3, 1), 0);
  Write("keep");
  int file = files.Open(path, 5, 1);
  ASSERT_NE(file, 0);
  files.Close(file);
  EXPECT_EQ(Read(), "keep") << "mode 5 keeps an existing file";
  file = files.Open(path, 4, 1);
  ASSERT_NE(file, 0);
  files.Close(file);
  EXPECT_EQ(Read(), "") << "mode 4 empties it even with nothing written";
  fs::remove(path);
  file = files.Open(path, 6, 1);
  ASSERT_NE(file, 0);
  EXPECT_TRUE(files.WriteText(file, {"ab", "", "中"}));
  files.Close(file);
  EXPECT_EQ(Read(), "ab中");
}

TEST_F(OpenFilesTest, BadArgumentsGiveZeroAndBadNumbersAreIgnored) {
  Write("x");
  EXPECT_EQ(files.Open("", 1, 1), 0);
  EXPECT_EQ(files.Open(path, 0, 1), 0);
  EXPECT_EQ(files.Open(path, 7, 1), 0);
  EXPECT_EQ(files.Open(path, 1, 0), 0);
  EXPECT_EQ(files.Open(path, 1, 5), 0);
  EXPECT_EQ(files.Open(folder.string(), 1, 1), 0) << "a folder is no file";
  EXPECT_EQ(files.ReadText(99, std::nullopt), "");
  EXPECT_FALSE(files.WriteText(99, {"a"}));
  files.Close(99);
}

TEST_F(OpenFilesTest, SharingIsHonouredAmongOurOpens) {
  Write("x");
  const int denyWrite = files.Open(path, 1, 3);
  ASSERT_NE(denyWrite, 0);
  EXPECT_EQ(files.Open(path, 2, 1), 0) << "others may not write";
  EXPECT_EQ(files.Open(path, 4, 1), 0) << "and may not empty it either";
  EXPECT_EQ(Read(), "x");
  const int reader = files.Open(path, 1, 1);
  EXPECT_NE(reader, 0) << "reading is still allowed";
  files.Close(reader);
  files.Close(denyWrite);

  const int writer = files.Open(path, 2, 1);
  ASSERT_NE(writer, 0);
  EXPECT_EQ(files.Open(path, 1, 3), 0) << "cannot deny writing to a file being written";
  const int reader2 = files.Open(path, 1, 2);
  EXPECT_NE(reader2, 0) << "denying readers is fine while only someone writes";
  EXPECT_EQ(files.Open(path, 1, 1), 0) << "and then nobody else may read";
  files.Close(reader2);
  files.Close(writer);

  const int exclusive = files.Open(path, 1, 4);
  ASSERT_NE(exclusive, 0);
  EXPECT_EQ(files.Open(path, 1, 1), 0);
  files.Close(exclusive);
  EXPECT_NE(files.Open(path, 1, 1), 0) << "closing lifts the restriction";
}

TEST_F(OpenFilesTest, ReadTextEndsAtZeroOrEndOfFileMarkAndLeavesThePositionThere) {
  Write(std::string("abc\0def", 7));
  int file = files.Open(path, 1, 1);
  EXPECT_EQ(files.ReadText(file, std::nullopt), "abc");
  EXPECT_EQ(files.Position(file), 3);
  EXPECT_EQ(files.ReadText(file, std::nullopt), "") << "the zero byte is next";
  files.Close(file);

  Write(
      "ab\x1A"
      "cd");
  file = files.Open(path, 1, 1);
  EXPECT_EQ(files.ReadText(file, std::nullopt), "ab");
  EXPECT_EQ(files.Position(file), 2);
  files.Close(file);

  // A lead byte followed by a zero byte ends the text without that byte, but a
  // character whose second byte is followed by a zero byte is kept whole.
  Write(std::string("x\xB0\0y", 4));
  file = files.Open(path, 1, 1);
  EXPECT_EQ(files.ReadText(file, std::nullopt), "x");
  EXPECT_EQ(files.Position(file), 1);
  files.Close(file);
  Write(std::string("\xB0\xA1\0", 3));
  file = files.Open(path, 1, 1);
  EXPECT_EQ(files.ReadText(file, std::nullopt), "\xB0\xA1");
  files.Close(file);
}

TEST_F(OpenFilesTest, ReadTextCountsAndPositions) {
  Write("abcdef");
  const int file = files.Open(path, 1, 1);
  EXPECT_EQ(files.ReadText(file, 2), "ab");
  EXPECT_EQ(files.Position(file), 2);
  EXPECT_EQ(files.ReadText(file, 0), "");
  EXPECT_EQ(files.ReadText(file, -3), "");
  EXPECT_EQ(files.ReadText(file, 100), "cdef");
  EXPECT_EQ(files.Position(file), 6);
  files.Close(file);

  Write("a\r\nb\nc\r");
  const int again = files.Open(path, 1, 1);
  EXPECT_EQ(files.ReadText(again, std::nullopt), "a\r\nb\nc\r") << "no line-end translation";
  files.Close(again);
}

TEST_F(OpenFilesTest, FailedWriteRestoresThePosition) {
  const int full = files.Open("/dev/full", 2, 1);
  ASSERT_NE(full, 0);
  EXPECT_FALSE(files.WriteText(full, {"a"}));
  files.Close(full);

  // A disk that fills up in the middle of a write: the position goes back to
  // where the write began, after what was written before.
  const fs::path small = folder / "small";
  fs::create_directory(small);
  const std::string mount = "mount -t tmpfs -o size=8k tmpfs '" + small.string() + "' 2>/dev/null";
  if (std::system(mount.c_str()) != 0) GTEST_SKIP() << "mounting a small file system needs root";
  const int file = files.Open((small / "f.txt").string(), 4, 1);
  ASSERT_NE(file, 0);
  EXPECT_TRUE(files.WriteText(file, {"abc"}));
  EXPECT_FALSE(files.WriteText(file, {std::string(70000, 'x')}));
  EXPECT_EQ(files.Position(file), 3);
  files.Close(file);
  std::system(("umount '" + small.string() + "'").c_str());
}

}  // namespace
