#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "framework/BoundFunction.h"
#include "framework/ComponentFiles.h"
#include "framework/platform/LibraryBinding.h"
#include "framework/platform/WholeFiles.h"
#include "framework/qt/QtRuntimeServices.h"

extern "C" const std::uint8_t orvane_probe_image_begin[];
extern "C" const std::uint8_t orvane_probe_image_end[];

namespace {

namespace fs = std::filesystem;

// The real services, with the program folder moved to a scratch folder.
class ServicesInFolder : public QtRuntimeServices {
 public:
  explicit ServicesInFolder(std::string folder) : folder_(std::move(folder)) {}
  Text ProgramDirectory() override { return folder_; }
  Text LibraryDirectory() override { return folder_; }

 private:
  std::string folder_;
};

const ComponentFile kProbe{"probe.dll", orvane_probe_image_begin, orvane_probe_image_end};

class ComponentFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch.isValid()); }
  void TearDown() override { SetLibraryDirectoryForTesting(""); }
  std::string Folder() const { return scratch.path().toStdString(); }
  std::string Target() const { return Folder() + "/probe.dll"; }

  QTemporaryDir scratch;
};

TEST_F(ComponentFilesTest, FirstStartWritesTheExactBuiltLibraryAndItCanBeBoundByName) {
  ServicesInFolder services(Folder());
  WriteComponentFile(services, kProbe);
  ASSERT_TRUE(fs::exists(Target()));
  EXPECT_EQ(ReadWholeFile(Target()), ReadWholeFile(PROBE_LIBRARY));
  // Nothing but the library and the stamp naming its bytes: no temporary file.
  EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 2);
  const ByteBuffer stamp = ReadWholeFile(Folder() + "/" + kLibraryStampName);
  EXPECT_EQ(std::string(stamp.begin(), stamp.end()),
            Sha256Hex(orvane_probe_image_begin, orvane_probe_image_end) + "  probe.dll\n");

  SetLibraryDirectoryForTesting(Folder());
  ServicesInFolder binding(Folder());
  BoundFunction<int()> answer(binding, "probe.dll", "ProbeAnswer");
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(answer.Get(), answer.Get()) << "the bound address is reused";
}

TEST_F(ComponentFilesTest, SecondStartRewritesNothing) {
  ServicesInFolder services(Folder());
  WriteComponentFile(services, kProbe);
  // Age the file, so that a rewrite would show in its modification time.
  const auto aged = fs::last_write_time(Target()) - std::chrono::hours(24);
  fs::last_write_time(Target(), aged);
  WriteComponentFile(services, kProbe);
  EXPECT_EQ(fs::last_write_time(Target()), aged);
}

TEST_F(ComponentFilesTest, ExistingFileIsKeptWhateverItsContent) {
  { std::ofstream(Target()) << "old"; }
  ServicesInFolder services(Folder());
  WriteComponentFile(services, kProbe);
  EXPECT_EQ(fs::file_size(Target()), 3u);
}

// A disk that fills up half-way through the write must not leave a broken library
// under the final name (it would never be rewritten) nor a temporary file.
TEST_F(ComponentFilesTest, WriteOnAFullDiskLeavesNothingBehind) {
  const std::string full = Folder() + "/full";
  fs::create_directory(full);
  const std::string mount = "mount -t tmpfs -o size=8k tmpfs '" + full + "' 2>/dev/null";
  if (std::system(mount.c_str()) != 0) GTEST_SKIP() << "mounting a small file system needs root";
  ASSERT_GT(orvane_probe_image_end - orvane_probe_image_begin, 8 * 1024);
  ServicesInFolder services(full);
  WriteComponentFile(services, kProbe);
  const bool empty = fs::directory_iterator(full) == fs::directory_iterator();
  std::system(("umount '" + full + "'").c_str());
  EXPECT_TRUE(empty);
}

TEST_F(ComponentFilesTest, AtomicCreateRefusesAnExistingNameAndReplaceKeepsPermissions) {
  { std::ofstream(Target()) << "old"; }
  ::chmod(Target().c_str(), 0640);
  EXPECT_FALSE(WriteFileAtomically(Target(), {ByteBuffer{1, 2}}, false));
  EXPECT_EQ(fs::file_size(Target()), 3u);
  EXPECT_TRUE(WriteFileAtomically(Target(), {ByteBuffer{1, 2}, ByteBuffer{3}}, true));
  EXPECT_EQ(ReadWholeFile(Target()), (ByteBuffer{1, 2, 3}));
  struct stat info {};
  ASSERT_EQ(::stat(Target().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(ComponentFilesTest, ReplacingThroughASymbolicLinkReplacesTheFileItPointsTo) {
  const std::string target = Folder() + "/script.txt";
  const std::string link = Folder() + "/link.txt";
  { std::ofstream(target) << "old"; }
  fs::create_symlink(target, link);
  EXPECT_TRUE(WriteFileAtomically(link, {ByteBuffer{'n', 'e', 'w'}}, true));
  EXPECT_TRUE(fs::is_symlink(link)) << "the link stays a link";
  EXPECT_EQ(ReadWholeFile(target), (ByteBuffer{'n', 'e', 'w'}));
}

// A zero-byte msc.dll is a library without functions: the first call shows the
// run-time error naming the file and the function and ends with status 255.
TEST_F(ComponentFilesTest, ZeroByteLibraryIsFatalWithTheRunTimeErrorBox) {
  { std::ofstream(Folder() + "/msc.dll"); }
  const std::string command = std::string(FATAL_PROBE) + " '" + Folder() + "' 2>/dev/null";
  FILE* child = ::popen(command.c_str(), "r");
  ASSERT_NE(child, nullptr);
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, child)) output += buffer;
  const int status = ::pclose(child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);
  EXPECT_NE(output.find("icon=stop"), std::string::npos) << output;
  EXPECT_NE(output.find("运行时出错!\n\n错误信息："), std::string::npos) << output;
  EXPECT_NE(output.find("无法找到指定DLL库文件“msc.dll”中的输出命令“QTTSInit”"), std::string::npos)
      << output;
  EXPECT_EQ(fs::file_size(Folder() + "/msc.dll"), 0u) << "the broken file is left as it was";
}

}  // namespace
