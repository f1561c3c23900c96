#include "TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

TestHttpServer::TestHttpServer(Options options) : options_(std::move(options)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener_, 16);
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    for (int client : clients_) ::shutdown(client, SHUT_RDWR);
  }
  stopping_.notify_all();
  ::shutdown(listener_, SHUT_RDWR);  // wakes accept()
  acceptor_.join();
  for (auto& connection : connections_) connection.join();
  ::close(listener_);
}

std::string TestHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> TestHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TestHttpServer::AcceptLoop() {
  for (;;) {
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard lock(mutex_);
    if (client < 0 || stop_) {
      if (client >= 0) ::close(client);
      return;
    }
    clients_.push_back(client);
    connections_.emplace_back([this, client] { Serve(client); });
  }
}

bool TestHttpServer::SendAll(int client, const void* data, std::size_t size) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t sent = ::send(client, at, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    at += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void TestHttpServer::Serve(int client) {
  std::string head;
  char buffer[1024];
  while (head.find("\r\n\r\n") == std::string::npos) {
    const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    head.append(buffer, static_cast<std::size_t>(got));
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(head);
  }
  std::size_t from = 0;
  int status = options_.status;
  const auto range = head.find("Range: bytes=");
  if (status == 200 && options_.honourRange && range != std::string::npos) {
    from = std::min<std::size_t>(std::strtoull(head.c_str() + range + 13, nullptr, 10),
                                 options_.body.size());
    status = 206;
  }
  const std::size_t size = status >= 400 ? 0 : options_.body.size() - from;
  std::string response = "HTTP/1.1 " + std::to_string(status) +
                         (status >= 400   ? " Not Found"
                          : status == 206 ? " Partial Content"
                                          : " OK") +
                         "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n";
  if (options_.sendLength) response += "Content-Length: " + std::to_string(size) + "\r\n";
  if (status == 206)
    response += "Content-Range: bytes " + std::to_string(from) + "-" +
                std::to_string(options_.body.size() - 1) + "/" +
                std::to_string(options_.body.size()) + "\r\n";
  response += "\r\n";
  bool ok = SendAll(client, response.data(), response.size());
  std::size_t sent = 0;
  while (ok && sent < size) {
    std::size_t piece = std::min<std::size_t>(16 * 1024, size - sent);
    if (sent < options_.pauseAfter) piece = std::min(piece, options_.pauseAfter - sent);
    ok = SendAll(client, options_.body.data() + from + sent, piece);
    sent += piece;
    if (sent == options_.pauseAfter) {
      std::unique_lock lock(mutex_);
      if (stopping_.wait_for(lock, options_.pause, [&] { return stop_; })) break;
    }
  }
  ::shutdown(client, SHUT_RDWR);
  std::lock_guard lock(mutex_);
  clients_.erase(std::find(clients_.begin(), clients_.end(), client));
  ::close(client);
}
