#include "framework/platform/TrustedPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

bool OwnedByUsOrRoot(const struct stat& info) {
  return info.st_uid == ::geteuid() || info.st_uid == 0;
}

bool WritableByOthers(const struct stat& info) { return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

// The real path, or empty when it cannot be resolved.
std::string RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string real = resolved;
  std::free(resolved);
  return real;
}

// Checks the folders above the real path, from its parent up to "/".
std::string UntrustedAncestor(const std::string& real) {
  std::string folder = real;
  while (folder.size() > 1) {
    const auto slash = folder.rfind('/');
    folder = slash == 0 ? "/" : folder.substr(0, slash);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !OwnedByUsOrRoot(info)) return folder;
    if (WritableByOthers(info) && !(info.st_mode & S_ISVTX)) return folder;
  }
  return {};
}

std::string UntrustedPart(const std::string& path, bool wantFolder) {
  const std::string real = RealPath(path);
  if (real.empty()) return path;
  struct stat info {};
  if (::stat(real.c_str(), &info) != 0) return path;
  const bool rightKind = wantFolder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode);
  if (!rightKind || !OwnedByUsOrRoot(info) || WritableByOthers(info)) return real;
  return UntrustedAncestor(real);
}

}  // namespace

std::string UntrustedPartOfFolder(const std::string& folder) { return UntrustedPart(folder, true); }

std::string UntrustedPartOfFile(const std::string& file) { return UntrustedPart(file, false); }

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
      !found->pw_dir || found->pw_dir[0] != '/')
    return {};
  return found->pw_dir;
}
