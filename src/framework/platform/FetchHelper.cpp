#include "framework/platform/FetchHelper.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

std::optional<long long> Number(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 0) return std::nullopt;
  return value;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// The helper's output: "STATUS COMPLETE\n", then the body.
std::optional<FetchResult> ParseOutput(const std::vector<char>& output) {
  const auto newline = std::find(output.begin(), output.end(), '\n');
  if (newline == output.end()) return std::nullopt;
  int status = 0;
  int complete = 0;
  const std::string head(output.begin(), newline);
  if (std::sscanf(head.c_str(), "%d %d", &status, &complete) != 2) return std::nullopt;
  FetchResult result;
  result.httpStatus = status;
  result.complete = complete == 1;
  result.body.assign(newline + 1, output.end());
  return result;
}

void EndHelper(pid_t helper, bool kill) {
  if (kill) ::kill(helper, SIGKILL);
  while (::waitpid(helper, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

bool IsFetchHelperCall(int argc, char** argv) {
  return argc >= 2 && std::strcmp(argv[1], kFetchHelperArgument) == 0;
}

int RunFetchHelper(int argc, char** argv) {
  // Ends with the program that asked (a killed program leaves no download behind).
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (argc != 6) return 2;
  const auto connect = Number(argv[3]);
  const auto total = Number(argv[4]);
  const auto bytes = Number(argv[5]);
  if (!connect || !total || !bytes) return 2;
  FetchOptions options;
  options.connectTimeoutMs = static_cast<int>(std::min<long long>(*connect, 1 << 30));
  options.totalTimeoutMs = static_cast<int>(std::min<long long>(*total, 1 << 30));
  options.maxBytes = static_cast<std::size_t>(*bytes);
  const FetchResult result = FetchHttp(argv[2], options);
  const std::string head = std::to_string(result.httpStatus) + (result.complete ? " 1\n" : " 0\n");
  const bool written = WriteAll(STDOUT_FILENO, head.data(), head.size()) &&
                       WriteAll(STDOUT_FILENO, reinterpret_cast<const char*>(result.body.data()),
                                result.body.size());
  return written ? 0 : 1;
}

FetchResult FetchHttpInHelper(const std::string& executable, const std::string& url,
                              bool (*giveUp)(), const FetchOptions& options) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return FetchHttpUnless(url, giveUp, options);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  // Nothing else of this process's (the X connection, files being saved) goes with it.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  // The helper starts with no signal blocked and the termination signals at their default.
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const std::string connect = std::to_string(std::max(options.connectTimeoutMs, 1));
  const std::string total = std::to_string(std::max(options.totalTimeoutMs, 1));
  const std::string bytes = std::to_string(options.maxBytes);
  const char* arguments[] = {"orvane-notepad", kFetchHelperArgument, url.c_str(), connect.c_str(),
                             total.c_str(),    bytes.c_str(),        nullptr};
  pid_t helper = 0;
  const int spawned = posix_spawn(&helper, executable.c_str(), &actions, &attributes,
                                  const_cast<char* const*>(arguments), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    return FetchHttpUnless(url, giveUp, options);
  }

  // The helper keeps libcurl's time-outs; this bound holds even when a name look-up
  // holds it past them, with room for the helper's own start.
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(std::max(options.totalTimeoutMs, 1)) +
                        std::chrono::seconds(1);
  const std::size_t limit = options.maxBytes + 64;  // the body and the status line
  std::vector<char> output;
  char chunk[16384];
  bool ended = false;
  while (!ended) {
    if (giveUp() || std::chrono::steady_clock::now() >= deadline) break;
    pollfd wait{out[0], POLLIN, 0};
    if (::poll(&wait, 1, 50) <= 0) continue;
    const ssize_t got = ::read(out[0], chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ended = true;
    } else {
      output.insert(output.end(), chunk, chunk + got);
      if (output.size() > limit) break;  // more than the helper may send: not believed
    }
  }
  ::close(out[0]);
  EndHelper(helper, !ended);
  if (!ended) return {};
  return ParseOutput(output).value_or(FetchResult{});
}
