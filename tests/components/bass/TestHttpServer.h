#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 that serves one body for every path, for URL
// stream tests: Range requests, error statuses and a pause in the middle.
class TestHttpServer {
 public:
  struct Options {
    std::vector<std::uint8_t> body;
    int status = 200;
    bool honourRange = true;
    bool sendLength = true;
    // After this many body bytes, wait before sending the rest.
    std::size_t pauseAfter = static_cast<std::size_t>(-1);
    std::chrono::milliseconds pause{0};
  };

  explicit TestHttpServer(Options options);
  ~TestHttpServer();  // ends a pause at once and closes every connection

  std::string Url(const std::string& path = "/audio") const;
  // The head of every request received, in order.
  std::vector<std::string> Requests() const;

 private:
  void AcceptLoop();
  void Serve(int client);
  bool SendAll(int client, const void* data, std::size_t size);

  Options options_;
  int listener_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::condition_variable stopping_;
  bool stop_ = false;
  std::vector<std::thread> connections_;
  std::vector<int> clients_;
  std::vector<std::string> requests_;
};
