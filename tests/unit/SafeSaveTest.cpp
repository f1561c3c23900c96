// Saves that are killed, and the temporary files they leave: the real save code in a
// child process, killed with SIGKILL at random moments.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "framework/platform/WholeFiles.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class SafeSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("safe-save-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    path = (folder / "script.txt").string();
  }
  void TearDown() override { fs::remove_all(folder); }

  std::vector<fs::path> Temporaries() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().filename().string().rfind(".script.txt.tmp-", 0) == 0)
        found.push_back(entry.path());
    return found;
  }
  // Permission bits of the temporary files that the file's own bits do not grant.
  mode_t WiderThanTheFile(mode_t fileMode) const {
    mode_t wider = 0;
    for (const fs::path& temporary : Temporaries()) {
      struct stat info {};
      if (::lstat(temporary.c_str(), &info) == 0) wider |= info.st_mode & 0777 & ~fileMode;
    }
    return wider;
  }

  fs::path folder;
  std::string path;
};

ByteBuffer Version(int number, std::size_t size) {
  ByteBuffer bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>('A' + (i + number) % 23);
  bytes[0] = static_cast<std::uint8_t>(number);
  return bytes;
}

// Forks a child that saves the bytes over the file and exits.
pid_t StartSave(const std::string& path, const ByteBuffer& bytes) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(WriteFileAtomically(path, {bytes}, true) ? 0 : 1);
  return child;
}

TEST_F(SafeSaveTest, TemporaryFileHasTheFileBitsFromTheStartAndLeftoversGoAtTheNextSave) {
  ASSERT_TRUE(WriteFileAtomically(path, {Version(0, 10)}, true));
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  // A killed save's leftover, and a save of another file that is under way.
  std::ofstream(folder / ".script.txt.tmp-12345") << "half";
  std::ofstream(folder / ".other.txt.tmp-1") << "other";
  ASSERT_TRUE(WriteFileAtomically(path, {Version(1, 1 << 20)}, true));
  EXPECT_TRUE(Temporaries().empty());
  EXPECT_TRUE(fs::exists(folder / ".other.txt.tmp-1")) << "only this file's leftovers go";
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// SIGKILL at random moments of a 30 MB save over an existing file of mode 0640: the
// file is always the whole old or the whole new text, no temporary file is ever
// readable by more people than the file, and the next save leaves none behind.
TEST_F(SafeSaveTest, SavesKilledAtRandomMomentsLeaveTheOldOrTheNewFile) {
  constexpr std::size_t kSize = 30u << 20;
  ByteBuffer onDisk = Version(0, kSize);
  ASSERT_TRUE(WriteFileAtomically(path, {onDisk}, true));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

  // How long a whole save takes here, to spread the kills over it.
  const auto started = Clock::now();
  const ByteBuffer first = Version(1, kSize);
  pid_t child = StartSave(path, first);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  onDisk = first;
  const auto wholeSave =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);

  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<long long> moment(0, wholeSave.count() * 6 / 5);
  int keptOld = 0, gotNew = 0, leftovers = 0;
  mode_t wider = 0;
  for (int round = 2; round < 27; ++round) {
    const ByteBuffer next = Version(round, kSize);
    const auto killAt = Clock::now() + std::chrono::microseconds(moment(random));
    child = StartSave(path, next);
    ASSERT_GT(child, 0);
    // Watches the folder until the moment comes.
    while (Clock::now() < killAt) wider |= WiderThanTheFile(0640);
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    wider |= WiderThanTheFile(0640);
    if (!Temporaries().empty()) ++leftovers;

    const ByteBuffer now = ReadWholeFile(path);
    ASSERT_TRUE(now == onDisk || now == next)
        << "round " << round << ": a file of " << now.size() << " bytes, neither old nor new";
    if (now == next) {
      ++gotNew;
      onDisk = next;
    } else {
      ++keptOld;
    }
  }
  EXPECT_EQ(wider, 0u) << "a temporary file was readable beyond the file's readers";
  ASSERT_TRUE(WriteFileAtomically(path, {Version(99, 100)}, true));
  EXPECT_TRUE(Temporaries().empty());
  std::printf("whole save %lld ms; 25 kills: old kept %d, new %d, leftovers %d\n",
              static_cast<long long>(wholeSave.count() / 1000), keptOld, gotNew, leftovers);
}

}  // namespace
