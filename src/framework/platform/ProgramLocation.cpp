#include "framework/platform/ProgramLocation.h"

#include <filesystem>
#include <system_error>

std::string ExecutableDirectory() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::filesystem::current_path(error).string();
  return exe.parent_path().string();
}
