#include <elf.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "framework/BoundFunction.h"
#include "framework/platform/BundledLibraries.h"
#include "framework/platform/LibraryBinding.h"
#include "framework/platform/LibraryPlace.h"
#include "framework/platform/WholeFiles.h"
#include "framework/qt/QtRuntimeServices.h"

extern "C" const std::uint8_t orvane_probe_image_begin[];
extern "C" const std::uint8_t orvane_probe_image_end[];

namespace {

namespace fs = std::filesystem;

const ByteBuffer kProbe(orvane_probe_image_begin, orvane_probe_image_end);

void Install(const std::string& folder, const std::string& name = "probe.dll") {
  InstallBundledLibrary(folder, name, orvane_probe_image_begin, orvane_probe_image_end);
}

std::string Hex(const ByteBuffer& bytes) {
  return Sha256Hex(bytes.data(), bytes.data() + bytes.size());
}

void WriteBytes(const std::string& path, const ByteBuffer& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::string Stamp(const std::string& folder) {
  const ByteBuffer stamp = ReadWholeFile(folder + "/" + kLibraryStampName);
  return std::string(stamp.begin(), stamp.end());
}

// What a program prints and how it ended.
struct Outcome {
  std::string output;
  int status = -1;
};

Outcome RunCommand(const std::string& command) {
  Outcome outcome;
  FILE* child = ::popen(command.c_str(), "r");
  if (!child) return outcome;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, child)) outcome.output += buffer;
  outcome.status = ::pclose(child);
  return outcome;
}

// The fatal probe binding QTTSInit of msc.dll in the folder: the box it shows.
Outcome BindInChild(const std::string& folder) {
  return RunCommand(std::string(FATAL_PROBE) + " '" + folder + "' 2>/dev/null");
}

class ComponentFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch.isValid()); }
  void TearDown() override { SetLibraryDirectoryForTesting(""); }
  std::string Folder() const { return scratch.path().toStdString(); }
  std::string Target() const { return Folder() + "/probe.dll"; }

  QTemporaryDir scratch;
};

TEST_F(ComponentFilesTest, FirstStartWritesTheExactBuiltLibraryAndItCanBeBoundByName) {
  Install(Folder());
  ASSERT_TRUE(fs::exists(Target()));
  EXPECT_EQ(ReadWholeFile(Target()), ReadWholeFile(PROBE_LIBRARY));
  // Nothing but the library, the stamp naming its bytes and the record of the file that
  // holds them: no temporary file.
  EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 3);
  const ByteBuffer stamp = ReadWholeFile(Folder() + "/" + kLibraryStampName);
  EXPECT_EQ(std::string(stamp.begin(), stamp.end()), Hex(kProbe) + "  probe.dll\n");

  SetLibraryDirectoryForTesting(Folder());
  QtRuntimeServices binding;
  BoundFunction<int()> answer(binding, "probe.dll", "ProbeAnswer");
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(answer.Get(), answer.Get()) << "the bound address is reused";
}

TEST_F(ComponentFilesTest, SecondStartRewritesNothingAndAChangeInPlaceIsStillSeen) {
  Install(Folder());
  // Age the file, so that a rewrite would show in its modification time.
  const auto aged = fs::last_write_time(Target()) - std::chrono::hours(24);
  fs::last_write_time(Target(), aged);
  Install(Folder());
  EXPECT_EQ(fs::last_write_time(Target()), aged);

  // A start that does not read the library again still notices a change in place of
  // the same size with the old modification time: a foreign library is put aside.
  ByteBuffer foreign = kProbe;
  foreign[18] = EM_AARCH64 == foreign[18] ? EM_X86_64 : EM_AARCH64;  // e_machine
  WriteBytes(Target(), foreign);
  fs::last_write_time(Target(), aged);
  Install(Folder());
  EXPECT_EQ(ReadWholeFile(Target()), kProbe);
  EXPECT_EQ(ReadWholeFile(Target() + ".damaged"), foreign);
}

// An upgrade replaces what an earlier build wrote and nobody changed since; a copy
// the user changed or put there is kept.
TEST_F(ComponentFilesTest, UpgradeReplacesOnlyUnchangedLibrariesOfAnEarlierBuild) {
  ByteBuffer older = kProbe, changed = kProbe;
  older.push_back('o');  // bytes past the last segment: still a loadable library
  changed.push_back('m');
  WriteBytes(Target(), older);
  WriteBytes(Folder() + "/mine.dll", changed);
  const std::string stamp = Hex(older) + "  mine.dll\n" + Hex(older) + "  probe.dll\n";
  WriteBytes(Folder() + "/" + kLibraryStampName, ByteBuffer(stamp.begin(), stamp.end()));
  Install(Folder());
  Install(Folder(), "mine.dll");
  EXPECT_EQ(ReadWholeFile(Target()), kProbe);
  EXPECT_EQ(ReadWholeFile(Folder() + "/mine.dll"), changed);
  EXPECT_EQ(Stamp(Folder()), Hex(older) + "  mine.dll\n" + Hex(kProbe) + "  probe.dll\n");
}

// A disk that fills up half-way through the write must not leave a broken library
// under the final name (it would never be rewritten) nor a temporary file.
TEST_F(ComponentFilesTest, WriteOnAFullDiskLeavesNothingBehind) {
  const std::string full = Folder() + "/full";
  fs::create_directory(full);
  const std::string mount = "mount -t tmpfs -o size=8k tmpfs '" + full + "' 2>/dev/null";
  if (std::system(mount.c_str()) != 0) GTEST_SKIP() << "mounting a small file system needs root";
  ASSERT_GT(orvane_probe_image_end - orvane_probe_image_begin, 8 * 1024);
  Install(full);
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

ByteBuffer Truncated() { return ByteBuffer(kProbe.begin(), kProbe.begin() + kProbe.size() / 2); }

// Bytes that cannot be a library for this machine are nobody's work, whatever the
// stamp says: they are replaced by the built library and kept beside it.
TEST_F(ComponentFilesTest, DamagedLibrariesAreReplacedAndKeptBesideAsDamaged) {
  ByteBuffer foreign = kProbe;
  foreign[18] = EM_AARCH64 == foreign[18] ? EM_X86_64 : EM_AARCH64;  // e_machine
  const std::map<std::string, ByteBuffer> damaged{
      {"empty.dll", {}}, {"truncated.dll", Truncated()}, {"foreign.dll", foreign}};
  std::string stamp;
  for (const auto& [name, bytes] : damaged) {
    WriteBytes(Folder() + "/" + name, bytes);
    stamp += Hex({'x'}) + "  " + name + "\n";  // as if an earlier build wrote other bytes
  }
  WriteBytes(Folder() + "/" + kLibraryStampName, ByteBuffer(stamp.begin(), stamp.end()));
  for (const auto& [name, bytes] : damaged) {
    Install(Folder(), name);
    EXPECT_EQ(ReadWholeFile(Folder() + "/" + name), kProbe) << name;
    EXPECT_EQ(ReadWholeFile(Folder() + "/" + name + ".damaged"), bytes) << name;
  }
  EXPECT_EQ(Stamp(Folder()), Hex(kProbe) + "  empty.dll\n" + Hex(kProbe) + "  foreign.dll\n" +
                                 Hex(kProbe) + "  truncated.dll\n");
}

// A library that cannot be used (one the user put there without the function, a
// truncated one that would die of SIGBUS in the loader) ends the program with the
// designed box and one more line naming the file to delete.
TEST_F(ComponentFilesTest, UnusableLibraryIsFatalWithALineNamingTheFileToDelete) {
  for (const ByteBuffer& bytes : {kProbe, Truncated(), ByteBuffer()}) {
    WriteBytes(Folder() + "/msc.dll", bytes);
    const Outcome outcome = BindInChild(Folder());
    ASSERT_TRUE(WIFEXITED(outcome.status)) << "signal " << WTERMSIG(outcome.status);
    EXPECT_EQ(WEXITSTATUS(outcome.status), 255);
    EXPECT_NE(outcome.output.find("icon=stop"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("运行时出错!\n\n错误信息：无法找到指定DLL库文件“msc.dll”中的"
                                  "输出命令“QTTSInit”\n删除“" +
                                  Folder() + "/msc.dll”"),
              std::string::npos)
        << outcome.output;
    EXPECT_EQ(ReadWholeFile(Folder() + "/msc.dll"), bytes) << "the file is left as it was";
  }
}

// Libraries are run only from folders and files that nobody but the user (or root)
// could have put there; another user is simulated by the owner nobody (65534).
TEST_F(ComponentFilesTest, LibrariesAnotherUserCouldHavePlacedAreNeverRun) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving files to another user needs root";
  const auto chown = [](const std::string& path, int owner) {
    return std::system(("chown -R " + std::to_string(owner) + " '" + path + "'").c_str()) == 0;
  };
  // A working msc.dll in a folder of another user; ours, but writable by others.
  const std::string theirs = Folder() + "/theirs", ours = Folder() + "/ours";
  for (const std::string& folder : {theirs, ours}) {
    fs::create_directory(folder);
    fs::copy_file(MSC_LIBRARY, folder + "/msc.dll");
  }
  ASSERT_TRUE(chown(theirs, 65534));
  fs::permissions(ours + "/msc.dll", fs::perms::others_write, fs::perm_options::add);
  for (const std::string& folder : {theirs, ours}) {
    const Outcome outcome = BindInChild(folder);
    EXPECT_EQ(outcome.output.find("bound"), std::string::npos) << folder;
    EXPECT_NE(outcome.output.find("可被其他用户改写"), std::string::npos) << outcome.output;
  }

  // ../lib/orvane-notepad beside a copy in a world-writable folder is an installed
  // layout only when nobody else could have made it.
  const std::string shared = Folder() + "/tmp", libraries = shared + "/lib/orvane-notepad";
  fs::create_directories(libraries);
  fs::create_directory(shared + "/X");
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  for (const char* name : kBundledLibraryNames) fs::copy_file(MSC_LIBRARY, libraries + "/" + name);
  ASSERT_TRUE(chown(shared + "/lib", 65534));
  const LibraryPlace planted = DecideLibraryPlace(shared + "/X", "/cache");
  EXPECT_EQ(planted.folder, shared + "/X");
  EXPECT_TRUE(planted.writeThere);
  ASSERT_TRUE(chown(shared + "/lib", 0));
  const LibraryPlace installed = DecideLibraryPlace(shared + "/X", "/cache");
  EXPECT_EQ(installed.folder, fs::canonical(libraries).string());
  EXPECT_FALSE(installed.writeThere);

  // Without $HOME the cache is in the home folder of the password database, not /tmp.
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::unsetenv("HOME");
  ::unsetenv("XDG_CACHE_HOME");
  const std::string cache = LibraryCacheFolder("id");
  if (!home.empty()) ::setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(cache, std::string(::getpwuid(::geteuid())->pw_dir) + "/.cache/orvane-notepad/id");
}

// The library writer run under strace, killed at the n-th call of the system call.
Outcome WriteKilledAt(const std::string& call, int n, const std::string& folder,
                      const std::string& image) {
  return RunCommand("strace -o /dev/null -e inject=" + call +
                    ":signal=KILL:when=" + std::to_string(n) + " " + LIBRARY_WRITER + " '" +
                    folder + "' probe.dll '" + image + "' 2>&1");
}

// However a start is killed while it replaces a library, the library left is one
// the stamp records as ours, so the next build still replaces it; and starts at
// once take turns, none losing another's line of the stamp.
TEST_F(ComponentFilesTest, KillsAndStartsAtOnceLeaveLibraryAndStampInAgreement) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's runtime makes hundreds of these calls itself before the writer's
  // own: the sweep would be thousands of runs. The plain build runs it.
  GTEST_SKIP() << "the kill sweep runs in the build without AddressSanitizer";
#endif
  ASSERT_EQ(RunCommand("strace -V >/dev/null 2>&1").status, 0) << "strace is needed";
  std::map<char, ByteBuffer> builds;
  for (char build : {'A', 'B', 'C'}) {
    builds[build] = kProbe;
    builds[build].push_back(static_cast<std::uint8_t>(build));
    WriteBytes(Folder() + "/" + build, builds[build]);
  }
  const std::string folder = Folder() + "/libraries";
  // Every call that can change a file, each at every one of its invocations.
  for (const char* call : {"openat", "write", "fchmod", "fsync", "flock", "rename", "renameat",
                           "renameat2", "link", "linkat", "unlink", "unlinkat"}) {
    bool finished = false;
    for (int n = 1; n < 200 && !finished; ++n) {
      fs::remove_all(folder);
      fs::create_directory(folder);
      WriteBytes(folder + "/probe.dll", builds['A']);
      const std::string stamp = Hex(builds['A']) + "  probe.dll\n";
      WriteBytes(folder + "/" + kLibraryStampName, ByteBuffer(stamp.begin(), stamp.end()));

      finished = WriteKilledAt(call, n, folder, Folder() + "/B").status == 0;
      const std::string at = std::string(call) + " #" + std::to_string(n);
      const ByteBuffer left = ReadWholeFile(folder + "/probe.dll");
      EXPECT_TRUE(left == builds['A'] || left == builds['B']) << at;
      EXPECT_NE(Stamp(folder).find(Hex(left) + "  probe.dll\n"), std::string::npos)
          << at << ":\n"
          << Stamp(folder);
      RunCommand(std::string(LIBRARY_WRITER) + " '" + folder + "' probe.dll '" + Folder() + "/C'");
      EXPECT_EQ(ReadWholeFile(folder + "/probe.dll"), builds['C']) << at;
      EXPECT_EQ(Stamp(folder), Hex(builds['C']) + "  probe.dll\n") << at;
    }
    EXPECT_TRUE(finished) << call << ": the writer was never left to finish";
  }

  for (int round = 0; round < 10; ++round) {
    fs::remove_all(folder);
    fs::create_directory(folder);
    std::string writers;
    for (const char* name : kBundledLibraryNames)
      writers +=
          std::string(LIBRARY_WRITER) + " '" + folder + "' " + name + " '" + Folder() + "/A' & ";
    RunCommand(writers + "wait");
    for (const char* name : kBundledLibraryNames)
      EXPECT_NE(Stamp(folder).find(Hex(builds['A']) + "  " + name), std::string::npos) << name;
  }
}

}  // namespace
