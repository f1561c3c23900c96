// The rules for copies of unsaved text on a real file system: private folders and
// files whatever the umask, nothing written through a symbolic link, and a fallback
// folder when the state folder cannot be used.
#include "framework/platform/PrivateFiles.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "framework/platform/StateFolder.h"
#include "framework/platform/WholeFiles.h"

namespace {

namespace fs = std::filesystem;

class PrivateFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/private-files-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root = pattern;
    savedUmask = ::umask(0);  // the widest: nothing may come out readable by others
  }
  void TearDown() override {
    ::umask(savedUmask);
    fs::remove_all(root);
  }
  static unsigned Mode(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  }
  static ByteBuffer Bytes(const char* text) {
    return ByteBuffer(text, text + std::char_traits<char>::length(text));
  }

  std::string root;
  mode_t savedUmask = 0;
};

TEST_F(PrivateFilesTest, CopiesArePrivateAndNeverWrittenThroughALink) {
  const std::string folder = root + "/state/orvane-notepad";
  fs::create_directories(folder);
  fs::permissions(folder, fs::perms(0755));
  ASSERT_TRUE(MakePrivateFolder(folder));
  EXPECT_EQ(Mode(folder), 0700u) << "an existing folder of ours is made private";

  // A dangling link at the name is a taken name: the place it names stays empty.
  const std::string nowhere = root + "/planted";
  fs::create_symlink(nowhere, folder + "/recovered-1.txt");
  EXPECT_EQ(CreatePrivateFile(folder + "/recovered-1.txt", {Bytes("text")}),
            PrivateCreation::Taken);
  EXPECT_FALSE(fs::exists(fs::symlink_status(nowhere)));
  EXPECT_EQ(CreatePrivateFile(folder + "/recovered-2.txt", {Bytes("text")}),
            PrivateCreation::Created);
  EXPECT_EQ(Mode(folder + "/recovered-2.txt"), 0600u);
  EXPECT_EQ(ReadWholeFile(folder + "/recovered-2.txt"), Bytes("text"));

  // Replacing a link replaces the link; the file it pointed to is untouched.
  const std::string victim = root + "/victim";
  std::ofstream(victim) << "mine";
  fs::create_symlink(victim, folder + "/1234.txt");
  ASSERT_TRUE(ReplacePrivateFile(folder + "/1234.txt", {Bytes("copy")}));
  EXPECT_EQ(ReadWholeFile(victim), Bytes("mine"));
  EXPECT_EQ(Mode(folder + "/1234.txt"), 0600u);
  EXPECT_EQ(ReadWholeFile(folder + "/1234.txt"), Bytes("copy"));

  // No temporary file is left, and the link is not listed as a file.
  std::vector<std::string> names = RegularFilesIn(folder);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"1234.txt", "recovered-2.txt"}));
}

TEST_F(PrivateFilesTest, UnusableStateFolderLeavesTheFallbackUnderTheRuntimeFolder) {
  // A plain file, or a link, where the state folder should be: not used.
  fs::create_directories(root + "/plain");
  std::ofstream(root + "/plain/orvane-notepad") << "not a folder";
  ::setenv("XDG_STATE_HOME", (root + "/plain").c_str(), 1);
  EXPECT_EQ(StateFolder(), "");
  fs::create_directories(root + "/linked");
  fs::create_directories(root + "/elsewhere");
  fs::create_symlink(root + "/elsewhere", root + "/linked/orvane-notepad");
  ::setenv("XDG_STATE_HOME", (root + "/linked").c_str(), 1);
  EXPECT_EQ(StateFolder(), "");

  fs::create_directories(root + "/run");
  ::setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
  const std::string fallback = FallbackFolder();
  EXPECT_EQ(fallback, root + "/run/orvane-notepad");
  EXPECT_EQ(Mode(fallback), 0700u);
  EXPECT_EQ(CreatePrivateFile(fallback + "/recovered-1.txt", {Bytes("text")}),
            PrivateCreation::Created);
}

// A full disk and a read-only one, on small file systems of the test's own (root, in a
// mount namespace of its own): a copy fails, as opposed to a taken name, which is what
// sends it to the fallback folder; and it leaves nothing half-written behind.
TEST_F(PrivateFilesTest, FullOrReadOnlyFolderFailsAndLeavesNothing) {
  if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    GTEST_SKIP() << "needs root for a mount namespace";
  const std::string full = root + "/full";
  const std::string readOnly = root + "/read-only";
  fs::create_directories(full);
  fs::create_directories(readOnly);
  ASSERT_EQ(::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k,mode=0700"), 0);
  ASSERT_EQ(::mount("tmpfs", readOnly.c_str(), "tmpfs", 0, "size=64k,mode=0700"), 0);
  ASSERT_EQ(::mount(nullptr, readOnly.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);

  const ByteBuffer large(256 * 1024, 'x');
  EXPECT_EQ(CreatePrivateFile(full + "/recovered-1.txt", {large}), PrivateCreation::Failed);
  EXPECT_TRUE(RegularFilesIn(full).empty()) << "no temporary file is left";
  std::ofstream(full + "/1234.txt") << "older copy";
  EXPECT_FALSE(ReplacePrivateFile(full + "/1234.txt", {large}));
  EXPECT_EQ(ReadWholeFile(full + "/1234.txt"), Bytes("older copy"));

  EXPECT_EQ(CreatePrivateFile(readOnly + "/recovered-1.txt", {Bytes("text")}),
            PrivateCreation::Failed);
  EXPECT_FALSE(MakePrivateFolder(readOnly)) << "a folder that cannot be written is not used";
  ::umount(readOnly.c_str());
  ::umount(full.c_str());
}

}  // namespace
