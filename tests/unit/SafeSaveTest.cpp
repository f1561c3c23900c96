// Saves that are killed, and the temporary files they leave: the real save code in a
// child process, killed with SIGKILL at random moments.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "framework/platform/FileProblems.h"
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

// Runs the step as another local user (nobody) in a child process; whether it succeeded.
bool AsAnotherUser(const std::function<bool()>& step) {
  const pid_t child = ::fork();
  if (child == 0) {
    const bool switched =
        ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
    ::_exit(switched && step() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

ByteBuffer Bytes(const std::string& text) { return ByteBuffer(text.begin(), text.end()); }

// A folder like /tmp: owned by root, sticky and writable by everybody.
fs::path SharedFolder(const fs::path& inside) {
  const fs::path shared = inside / "shared";
  fs::create_directories(shared);
  ::chmod(shared.c_str(), 01777);
  return shared;
}

// Another user plants notes.txt -> the saver's private file in a shared folder: the save
// refuses to follow it and says why; a link of the saver's own there is followed.
TEST_F(SafeSaveTest, LinkPlantedByAnotherUserInASharedFolderIsNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  ::chmod(folder.c_str(), 0755);
  const fs::path shared = SharedFolder(folder);
  const fs::path precious = folder / "precious.txt";
  std::ofstream(precious) << "precious";
  ::chmod(precious.c_str(), 0600);
  const fs::path planted = shared / "notes.txt";
  ASSERT_TRUE(AsAnotherUser([&] { return ::symlink(precious.c_str(), planted.c_str()) == 0; }));

  EXPECT_FALSE(WriteFileAtomically(planted, {Bytes("replaced")}, true));
  EXPECT_EQ(LastFileProblem(), FileProblem::LinkRefused);
  EXPECT_EQ(Read(precious), "precious");

  const fs::path own = shared / "mine.txt";
  fs::create_symlink(precious, own);
  EXPECT_TRUE(WriteFileAtomically(own, {Bytes("mine")}, true));
  EXPECT_EQ(Read(precious), "mine");
  EXPECT_TRUE(fs::is_symlink(own));
}

// The saved file keeps its owner and its other names; where a sticky folder refuses the
// replacement of a file someone else owns but the saver may write, it is written in place;
// no copy of the old text stays behind.
TEST_F(SafeSaveTest, SaveKeepsOwnerAndHardLinksAndWritesInPlaceWhereTheFolderRefuses) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  ::chmod(folder.c_str(), 0755);
  const fs::path theirs = folder / "theirs.txt";
  std::ofstream(theirs) << "old";
  ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
  ::chmod(theirs.c_str(), 0664);
  ASSERT_TRUE(SaveUserFile(theirs, {Bytes("by root")}));
  struct stat info {};
  ASSERT_EQ(::stat(theirs.c_str(), &info), 0);
  EXPECT_EQ(Read(theirs), "by root");
  EXPECT_EQ(info.st_uid, 65534u);
  EXPECT_EQ(info.st_gid, 65534u);

  const fs::path linked = folder / "linked.txt";
  const fs::path other = folder / "other-name.txt";
  std::ofstream(linked) << "old";
  fs::create_hard_link(linked, other);
  ASSERT_TRUE(SaveUserFile(linked, {Bytes("both names")}));
  EXPECT_EQ(Read(other), "both names");
  EXPECT_EQ(fs::hard_link_count(linked), 2u);

  const fs::path shared = SharedFolder(folder);
  const fs::path open = shared / "open.txt";
  std::ofstream(open) << "old";
  ::chmod(open.c_str(), 0666);
  EXPECT_TRUE(AsAnotherUser([&] { return SaveUserFile(open, {Bytes("by nobody")}); }));
  EXPECT_EQ(Read(open), "by nobody");
  ASSERT_EQ(::stat(open.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u);
  for (const fs::path& place : {folder, shared})
    for (const auto& entry : fs::directory_iterator(place))
      EXPECT_EQ(entry.path().string().find('~'), std::string::npos) << entry.path();
}

}  // namespace
