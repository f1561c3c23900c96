#include "framework/platform/HttpFetch.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

ByteBuffer Bytes(const std::string& text) { return ByteBuffer(text.begin(), text.end()); }

std::string AsString(const ByteBuffer& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool SendAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void Respond(int fd, const std::string& head, const std::string& body) {
  SendAll(fd, head + "\r\n\r\n" + body);
}

std::string WithLength(const std::string& statusLine, const std::string& body) {
  return statusLine + "\r\nContent-Length: " + std::to_string(body.size());
}

// Reads up to the blank line that ends a request, or until the peer goes quiet (a
// TLS hello has no blank line). Never waits more than a few seconds in all.
std::string ReadRequest(int fd) {
  std::string request;
  const auto deadline = Clock::now() + 3s;
  while (request.find("\r\n\r\n") == std::string::npos && Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 500) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  return request;
}

// Holds the connection open without answering until the client gives up.
void WaitForPeerClose(int fd) {
  const auto deadline = Clock::now() + 10s;
  while (Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) < 0) return;
    if (p.revents == 0) continue;
    char buffer[256];
    if (::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
  }
}

// A one-connection-at-a-time HTTP server on 127.0.0.1 that records each request
// and lets the test write the answer.
class LoopbackServer {
 public:
  using Handler = std::function<void(int fd, const std::string& request)>;

  explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0) {
      ADD_FAILURE() << "cannot listen on 127.0.0.1";
      return;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }

  ~LoopbackServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }

  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::vector<std::string> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  int Connections() const { return connections_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      ++connections_;
      timeval sendLimit{5, 0};
      ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
      const std::string request = ReadRequest(client);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
      }
      handler_(client, request);
      ::close(client);
    }
  }

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// The request line and the headers (names in lower case, in order).
struct ParsedRequest {
  std::string line;
  std::vector<std::pair<std::string, std::string>> headers;
};

ParsedRequest Parse(const std::string& request) {
  ParsedRequest parsed;
  std::size_t start = 0;
  bool first = true;
  while (true) {
    const std::size_t end = request.find("\r\n", start);
    if (end == std::string::npos || end == start) break;
    const std::string line = request.substr(start, end - start);
    start = end + 2;
    if (first) {
      parsed.line = line;
      first = false;
      continue;
    }
    const std::size_t colon = line.find(':');
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    parsed.headers.emplace_back(name, value);
  }
  return parsed;
}

// A port nothing listens on: bound but not listening, so it stays ours meanwhile.
class RefusingPort {
 public:
  RefusingPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~RefusingPort() { ::close(fd_); }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

void ExpectNoResponse(const FetchResult& result, const std::string& what) {
  EXPECT_TRUE(result.body.empty()) << what;
  EXPECT_EQ(result.httpStatus, 0) << what;
  EXPECT_FALSE(result.complete) << what;
}

class HttpFetch : public ::testing::Test {
 protected:
  // A proxy set for the machine would take our loopback requests elsewhere.
  void SetUp() override {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
      ::unsetenv(name);
    }
  }
  void TearDown() override { SetUp(); }
};

TEST_F(HttpFetch, NormalPageArrivesWholeAfterAPlainHttp10Request) {
  const std::string page = "<html><body>Version 6.4 is out</body></html>";
  LoopbackServer server([&](int fd, const std::string&) {
    Respond(fd, WithLength("HTTP/1.0 200 OK", page) + "\r\nContent-Type: text/html", page);
  });

  const FetchResult result = FetchHttp(server.Url("/path/page.html?q=1"));

  EXPECT_EQ(result.body, Bytes(page));
  EXPECT_EQ(result.httpStatus, 200);
  EXPECT_TRUE(result.complete);

  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const ParsedRequest request = Parse(requests[0]);
  EXPECT_EQ(request.line, "GET /path/page.html?q=1 HTTP/1.0");
  std::multimap<std::string, std::string> headers(request.headers.begin(), request.headers.end());
  ASSERT_EQ(headers.count("accept"), 1u) << requests[0];
  EXPECT_EQ(headers.find("accept")->second, "*/*");
  ASSERT_EQ(headers.count("host"), 1u) << requests[0];
  EXPECT_EQ(headers.find("host")->second, "127.0.0.1:" + std::to_string(server.Port()));
  // Nothing beyond what HTTP/1.0 needs: no cache directives, no compression asked for.
  for (const auto& [name, value] : request.headers) {
    EXPECT_TRUE(name == "accept" || name == "host" || name == "user-agent")
        << "unexpected header " << name << ": " << value;
  }
}

TEST_F(HttpFetch, ZeroBytesStayInTheBody) {
  const std::string body("head\0middle\0\0tail\0", 18);
  ASSERT_EQ(body.size(), 18u);

  LoopbackServer withLength(
      [&](int fd, const std::string&) { Respond(fd, WithLength("HTTP/1.0 200 OK", body), body); });
  const FetchResult sized = FetchHttp(withLength.Url("/sized"));
  EXPECT_EQ(sized.body, Bytes(body));
  EXPECT_TRUE(sized.complete);

  // An HTTP/1.0 server may announce no length and end the body by closing.
  LoopbackServer toClose([&](int fd, const std::string&) { Respond(fd, "HTTP/1.0 200 OK", body); });
  const FetchResult unsized = FetchHttp(toClose.Url("/unsized"));
  EXPECT_EQ(unsized.body, Bytes(body));
  EXPECT_EQ(unsized.httpStatus, 200);
  EXPECT_TRUE(unsized.complete);
}

TEST_F(HttpFetch, ChunkedAnswerIsDecoded) {
  LoopbackServer server([](int fd, const std::string&) {
    SendAll(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
    SendAll(fd, "6\r\nHello,\r\n");
    SendAll(fd, std::string("7\r\n w\0rld\n\r\n", 12));
    SendAll(fd, "0\r\n\r\n");
  });

  const FetchResult result = FetchHttp(server.Url("/chunked"));

  EXPECT_EQ(result.body, Bytes(std::string("Hello, w\0rld\n", 13)));
  EXPECT_EQ(result.httpStatus, 200);
  EXPECT_TRUE(result.complete);
}

TEST_F(HttpFetch, ErrorStatusKeepsTheErrorPageButIsNotComplete) {
  const std::string notFound = "<html>No such page</html>";
  LoopbackServer missing([&](int fd, const std::string&) {
    Respond(fd, WithLength("HTTP/1.0 404 Not Found", notFound), notFound);
  });
  const FetchResult gone = FetchHttp(missing.Url("/moved-away"));
  EXPECT_EQ(gone.httpStatus, 404);
  EXPECT_FALSE(gone.complete);
  EXPECT_EQ(gone.body, Bytes(notFound));

  LoopbackServer broken([](int fd, const std::string&) { Respond(fd, "HTTP/1.0 500 Oops", "x"); });
  const FetchResult failed = FetchHttp(broken.Url("/"));
  EXPECT_EQ(failed.httpStatus, 500);
  EXPECT_FALSE(failed.complete);
  EXPECT_EQ(failed.body, Bytes("x"));
}

TEST_F(HttpFetch, ConnectionLostMidwayKeepsThePartialBody) {
  LoopbackServer server([](int fd, const std::string&) {
    SendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nfirst ten.");
  });

  const FetchResult result = FetchHttp(server.Url("/"));

  EXPECT_EQ(result.body, Bytes("first ten."));
  EXPECT_EQ(result.httpStatus, 200);
  EXPECT_FALSE(result.complete);
}

TEST_F(HttpFetch, StalledServerEndsByTheTotalTimeOut) {
  FetchOptions quick;
  quick.connectTimeoutMs = 500;
  quick.totalTimeoutMs = 800;

  LoopbackServer midBody([](int fd, const std::string&) {
    SendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nbegun");
    WaitForPeerClose(fd);
  });
  auto start = Clock::now();
  const FetchResult partial = FetchHttp(midBody.Url("/"), quick);
  EXPECT_LT(Clock::now() - start, 6s);
  EXPECT_EQ(partial.body, Bytes("begun"));
  EXPECT_EQ(partial.httpStatus, 200);
  EXPECT_FALSE(partial.complete);

  LoopbackServer silent([](int fd, const std::string&) { WaitForPeerClose(fd); });
  start = Clock::now();
  const FetchResult nothing = FetchHttp(silent.Url("/"), quick);
  EXPECT_LT(Clock::now() - start, 6s);
  EXPECT_EQ(silent.Connections(), 1);
  ExpectNoResponse(nothing, "server that never answers");
}

// A listener whose accept queue is full drops further connection attempts, which is
// how a black-holed host looks to the client, without leaving 127.0.0.1.
TEST_F(HttpFetch, UnansweredConnectEndsByTheConnectTimeOut) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

  std::vector<int> fillers;
  bool queueFull = false;
  for (int i = 0; i < 16 && !queueFull; ++i) {
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    fillers.push_back(filler);
    ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    pollfd p{filler, POLLOUT, 0};
    queueFull = ::poll(&p, 1, 300) == 0;
  }
  ASSERT_TRUE(queueFull) << "the accept queue never filled";

  FetchOptions options;
  options.connectTimeoutMs = 300;
  options.totalTimeoutMs = 30000;
  const auto start = Clock::now();
  const FetchResult result =
      FetchHttp("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", options);
  // Well short of the total time-out, which is what would end it without the
  // connect time-out.
  EXPECT_LT(Clock::now() - start, 10s);
  ExpectNoResponse(result, "connect never answered");

  for (int filler : fillers) ::close(filler);
  ::close(listener);
}

TEST_F(HttpFetch, BodyOverTheLimitIsAFailureWithBoundedMemory) {
  FetchOptions small;
  small.maxBytes = 1000;
  const std::string exact(1000, 'a');
  const std::string over = exact + "b";

  LoopbackServer fits([&](int fd, const std::string&) {
    Respond(fd, WithLength("HTTP/1.0 200 OK", exact), exact);
  });
  const FetchResult atLimit = FetchHttp(fits.Url("/"), small);
  EXPECT_TRUE(atLimit.complete);
  EXPECT_EQ(atLimit.body, Bytes(exact));

  LoopbackServer tooLong(
      [&](int fd, const std::string&) { Respond(fd, WithLength("HTTP/1.0 200 OK", over), over); });
  const FetchResult pastLimit = FetchHttp(tooLong.Url("/"), small);
  EXPECT_FALSE(pastLimit.complete);
  EXPECT_EQ(pastLimit.httpStatus, 200);
  EXPECT_EQ(pastLimit.body, Bytes(exact)) << "the first maxBytes bytes are kept";

  // A server that streams without end and announces an absurd length: the client
  // must stop reading soon after the limit and never hold more than the limit.
  constexpr std::size_t kOffered = 64u * 1024 * 1024;
  std::atomic<std::size_t> sent{0};
  FetchOptions capped;
  capped.maxBytes = 300 * 1000;  // unlike the sizes that plain doubling reaches
  FetchResult flood;
  {
    LoopbackServer endless([&](int fd, const std::string&) {
      if (!SendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 9000000000\r\n\r\n")) return;
      const std::string piece(64 * 1024, 'z');
      while (sent < kOffered && SendAll(fd, piece)) sent += piece.size();
    });
    flood = FetchHttp(endless.Url("/"), capped);
  }  // the server has finished sending once it is gone
  EXPECT_FALSE(flood.complete);
  EXPECT_EQ(flood.body.size(), capped.maxBytes);
  EXPECT_LE(flood.body.capacity(), capped.maxBytes);
  EXPECT_LT(sent.load(), kOffered) << "the client kept reading past its limit";
}

TEST_F(HttpFetch, RefusedPortGivesNoResponse) {
  RefusingPort closed;
  const FetchResult result = FetchHttp("http://127.0.0.1:" + std::to_string(closed.Port()) + "/x");
  ExpectNoResponse(result, "refused port");
}

TEST_F(HttpFetch, OnlyHttpAndHttpsAddressesAreFetched) {
  LoopbackServer server([](int fd, const std::string&) { Respond(fd, "HTTP/1.0 200 OK", "page"); });
  const std::string hostPort = "127.0.0.1:" + std::to_string(server.Port());

  for (const std::string& url :
       {std::string(), std::string("not an address"), std::string("file:///etc/passwd"),
        "ftp://" + hostPort + "/file", "gopher://" + hostPort + "/", hostPort + "/page",
        std::string("http://"), std::string("http://[::1/page"),
        std::string("http://127.0.0.1:99999/")}) {
    ExpectNoResponse(FetchHttp(url), "address \"" + url + "\"");
  }
  EXPECT_EQ(server.Connections(), 0);

  // The scheme's case does not matter.
  const FetchResult upper = FetchHttp("HTTP://" + hostPort + "/page");
  EXPECT_EQ(upper.body, Bytes("page"));
  EXPECT_TRUE(upper.complete);
}

TEST_F(HttpFetch, RedirectsAreFollowedAFewTimesAndOnlyToTheWeb) {
  LoopbackServer moved([](int fd, const std::string& request) {
    if (request.rfind("GET /old ", 0) == 0) {
      Respond(fd, "HTTP/1.0 301 Moved\r\nLocation: /new\r\nContent-Length: 9", "moved! ..");
    } else {
      Respond(fd, "HTTP/1.0 200 OK\r\nContent-Length: 8", "new page");
    }
  });
  const FetchResult followed = FetchHttp(moved.Url("/old"));
  EXPECT_EQ(followed.body, Bytes("new page"));
  EXPECT_EQ(followed.httpStatus, 200);
  EXPECT_TRUE(followed.complete);
  EXPECT_EQ(moved.Requests().size(), 2u);

  LoopbackServer loop([](int fd, const std::string&) {
    Respond(fd, "HTTP/1.0 302 Found\r\nLocation: /again\r\nContent-Length: 0", "");
  });
  const FetchResult endless = FetchHttp(loop.Url("/start"));
  EXPECT_FALSE(endless.complete);
  EXPECT_EQ(loop.Requests().size(), 6u) << "the first request and five redirects";

  LoopbackServer toFile([](int fd, const std::string&) {
    Respond(fd, "HTTP/1.0 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0", "");
  });
  const FetchResult local = FetchHttp(toFile.Url("/"));
  EXPECT_FALSE(local.complete);
  EXPECT_TRUE(local.body.empty()) << AsString(local.body);
}

TEST_F(HttpFetch, ProxyFromTheEnvironmentIsUsedUnlessExcluded) {
  LoopbackServer proxy([](int fd, const std::string&) {
    Respond(fd, "HTTP/1.0 200 OK\r\nContent-Length: 10", "from proxy");
  });
  ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.Port())).c_str(), 1);

  // The name is never resolved here: the proxy gets the whole address.
  const FetchResult viaProxy = FetchHttp("http://release.example.invalid/news.html");
  EXPECT_EQ(viaProxy.body, Bytes("from proxy"));
  EXPECT_TRUE(viaProxy.complete);
  const std::vector<std::string> requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(Parse(requests[0]).line, "GET http://release.example.invalid/news.html HTTP/1.0");

  LoopbackServer direct(
      [](int fd, const std::string&) { Respond(fd, "HTTP/1.0 200 OK", "direct"); });
  ::setenv("no_proxy", "127.0.0.1", 1);
  const FetchResult bypassed = FetchHttp(direct.Url("/"));
  EXPECT_EQ(bypassed.body, Bytes("direct"));
  EXPECT_EQ(proxy.Requests().size(), 1u);
}

TEST_F(HttpFetch, FetchesRunOnSeveralThreadsAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 3;
  std::vector<std::unique_ptr<LoopbackServer>> servers;
  for (int i = 0; i < kThreads; ++i) {
    const std::string body = "server " + std::to_string(i);
    servers.push_back(std::make_unique<LoopbackServer>(
        [body](int fd, const std::string&) { Respond(fd, "HTTP/1.0 200 OK", body); }));
  }
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < kRounds; ++round) {
        const FetchResult result = FetchHttp(servers[i]->Url("/"));
        if (result.complete && result.body == Bytes("server " + std::to_string(i))) ++good;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(good, kThreads * kRounds);
}

// --- https ---

class ChildProcess {
 public:
  // Starts argv[0] from PATH with pipes on its standard input and output.
  explicit ChildProcess(const std::vector<std::string>& argv) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
  }

  ~ChildProcess() {
    CloseInput();
    if (fromChild_ >= 0) ::close(fromChild_);
    if (pid_ > 0 && Wait(5s) == -1) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }

  void CloseInput() {
    if (toChild_ >= 0) ::close(toChild_);
    toChild_ = -1;
  }

  // One line of output, empty when none came in time.
  std::string ReadLine(std::chrono::milliseconds limit) {
    std::string line;
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      pollfd p{fromChild_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char c;
      if (::read(fromChild_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return {};
  }

  // The exit code, or -1 when the child has not ended in time.
  int Wait(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (pid_ > 0) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      if (Clock::now() > deadline) return -1;
      std::this_thread::sleep_for(20ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
};

// Serves "tls page" over TLS with the given certificate. It checks itself first with
// a client that trusts anything, so a refusal by FetchHttp is down to verification.
constexpr char kTlsServer[] = R"(
import http.server, socket, ssl, sys, threading
class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"tls page"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Page)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[1], sys.argv[2])
server.socket = context.wrap_socket(server.socket, server_side=True)
threading.Thread(target=server.serve_forever, daemon=True).start()
port = server.server_address[1]
trusting = ssl.create_default_context()
trusting.check_hostname = False
trusting.verify_mode = ssl.CERT_NONE
with socket.create_connection(("127.0.0.1", port), timeout=5) as raw:
    with trusting.wrap_socket(raw) as tls:
        tls.sendall(b"GET / HTTP/1.0\r\n\r\n")
        reply = b""
        while True:
            piece = tls.recv(4096)
            if not piece:
                break
            reply += piece
if not reply.endswith(b"tls page"):
    sys.exit(3)
print(port, flush=True)
sys.stdin.read()
)";

TEST_F(HttpFetch, HttpsVerifiesTheServerCertificate) {
  char pattern[] = "/tmp/http-fetch-test-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path folder = pattern;
  const std::string cert = (folder / "cert.pem").string();
  const std::string key = (folder / "key.pem").string();
  struct RemoveFolder {
    std::filesystem::path path;
    ~RemoveFolder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } cleanup{folder};

  ChildProcess openssl({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                        "subjectAltName=IP:127.0.0.1"});
  if (!openssl.Started()) GTEST_SKIP() << "openssl is not available";
  openssl.CloseInput();
  if (openssl.Wait(20s) != 0) GTEST_SKIP() << "openssl could not make a certificate";

  ChildProcess python({"python3", "-c", kTlsServer, cert, key});
  if (!python.Started()) GTEST_SKIP() << "python3 is not available";
  const std::string port = python.ReadLine(20s);
  ASSERT_FALSE(port.empty()) << "the TLS server did not come up";

  FetchOptions quick;
  quick.totalTimeoutMs = 5000;
  const FetchResult untrusted = FetchHttp("https://127.0.0.1:" + port + "/", quick);
  ExpectNoResponse(untrusted, "self-signed certificate");

  // An https address never falls back to plain HTTP.
  LoopbackServer plain([](int fd, const std::string&) { Respond(fd, "HTTP/1.0 200 OK", "plain"); });
  const FetchResult mismatch =
      FetchHttp("https://127.0.0.1:" + std::to_string(plain.Port()) + "/", quick);
  ExpectNoResponse(mismatch, "plain server behind an https address");
  const std::vector<std::string> hellos = plain.Requests();
  ASSERT_EQ(hellos.size(), 1u);
  ASSERT_FALSE(hellos[0].empty());
  EXPECT_EQ(static_cast<unsigned char>(hellos[0][0]), 0x16) << "not a TLS handshake record";
}

}  // namespace
