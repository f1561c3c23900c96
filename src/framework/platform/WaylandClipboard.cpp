#include "framework/platform/WaylandClipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <list>
#include <optional>
#include <thread>
#include <vector>

#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

// The names programs ask for text under; every one gets the same UTF-8 bytes.
constexpr const char* kTextTypes[] = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING",
                                      "TEXT", "STRING"};
// A program that asked for the text but reads none of it for this long is given up on.
constexpr auto kReaderPatience = std::chrono::seconds(5);
// How long an offer waits for the compositor to confirm it.
constexpr auto kConfirmWithin = std::chrono::seconds(5);

bool IsTextType(const char* type) {
  return std::any_of(std::begin(kTextTypes), std::end(kTextTypes),
                     [&](const char* name) { return std::strcmp(name, type) == 0; });
}

}  // namespace

struct WaylandClipboard::Connection {
  // The text of one offer as the compositor holds it.
  struct Source {
    Connection* owner = nullptr;
    zwlr_data_control_source_v1* proxy = nullptr;
    wl_callback* confirmation = nullptr;
    std::shared_ptr<const std::string> text;
    std::uint64_t id = 0;
    bool cancelled = false;
  };
  // A program's request for the text, written as fast as it reads.
  struct Writer {
    int fd = -1;
    std::shared_ptr<const std::string> text;
    std::size_t written = 0;
    std::uint64_t id = 0;
    Clock::time_point lastProgress;
  };

  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  wl_seat* seat = nullptr;
  zwlr_data_control_manager_v1* manager = nullptr;
  zwlr_data_control_device_v1* device = nullptr;
  int wake[2] = {-1, -1};
  std::thread thread;

  // Shared with the callers.
  std::mutex mutex;
  std::condition_variable confirmed;
  bool stopping = false;
  bool broken = false;
  std::optional<std::string> pendingText;
  std::uint64_t pendingId = 0, nextId = 0, lastConfirmed = 0, lastAccepted = 0, lastRead = 0;

  // The serving thread's own.
  std::list<std::unique_ptr<Source>> sources;
  std::vector<Writer> writers;

  bool Connect();
  void Serve();
  void SetSelection(std::string text, std::uint64_t id);
  void Write(Writer& writer);
  void Finish(Writer& writer, bool whole);
  void Fail();
  ~Connection();

  static void Announced(void* data, wl_registry* registry, uint32_t name, const char* interface,
                        uint32_t) {
    auto* self = static_cast<Connection*>(data);
    if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0) {
      self->manager = static_cast<zwlr_data_control_manager_v1*>(
          wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat == nullptr) {
      self->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    }
  }
  static void Removed(void*, wl_registry*, uint32_t) {}

  // What the seat's clipboard holds is of no interest: its offers are let go at once.
  static void DataOffer(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
  static void Selection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    if (offer) zwlr_data_control_offer_v1_destroy(offer);
  }
  static void DeviceFinished(void* data, zwlr_data_control_device_v1* device) {
    zwlr_data_control_device_v1_destroy(device);
    static_cast<Connection*>(data)->device = nullptr;
  }

  static void Send(void* data, zwlr_data_control_source_v1*, const char* type, int32_t fd) {
    auto* source = static_cast<Source*>(data);
    if (!IsTextType(type) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) < 0) {
      close(fd);
      return;
    }
    source->owner->writers.push_back(Writer{fd, source->text, 0, source->id, Clock::now()});
  }
  static void Cancelled(void* data, zwlr_data_control_source_v1* proxy) {
    auto* source = static_cast<Source*>(data);
    zwlr_data_control_source_v1_destroy(proxy);
    source->proxy = nullptr;
    source->cancelled = true;
  }
  static void Confirmed(void* data, wl_callback* callback, uint32_t) {
    auto* source = static_cast<Source*>(data);
    wl_callback_destroy(callback);
    source->confirmation = nullptr;
    Connection& self = *source->owner;
    std::lock_guard lock(self.mutex);
    self.lastConfirmed = std::max(self.lastConfirmed, source->id);
    if (!source->cancelled) self.lastAccepted = std::max(self.lastAccepted, source->id);
    self.confirmed.notify_all();
  }
};

bool WaylandClipboard::Connection::Connect() {
  display = wl_display_connect(nullptr);
  if (!display) return false;
  static const wl_registry_listener registryListener{&Announced, &Removed};
  registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registryListener, this);
  if (wl_display_roundtrip(display) < 0 || !manager || !seat) return false;
  static const zwlr_data_control_device_v1_listener deviceListener{&DataOffer, &Selection,
                                                                   &DeviceFinished, &Selection};
  device = zwlr_data_control_manager_v1_get_data_device(manager, seat);
  zwlr_data_control_device_v1_add_listener(device, &deviceListener, this);
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) < 0) return false;
  thread = std::thread(&Connection::Serve, this);
  return true;
}

void WaylandClipboard::Connection::SetSelection(std::string text, std::uint64_t id) {
  if (!device) return Fail();
  auto source = std::make_unique<Source>();
  source->owner = this;
  source->text = std::make_shared<const std::string>(std::move(text));
  source->id = id;
  source->proxy = zwlr_data_control_manager_v1_create_data_source(manager);
  static const zwlr_data_control_source_v1_listener sourceListener{&Send, &Cancelled};
  zwlr_data_control_source_v1_add_listener(source->proxy, &sourceListener, source.get());
  for (const char* type : kTextTypes) zwlr_data_control_source_v1_offer(source->proxy, type);
  zwlr_data_control_device_v1_set_selection(device, source->proxy);
  // Answered after the compositor has handled the selection: a paste after it gets ours.
  static const wl_callback_listener confirmationListener{&Confirmed};
  source->confirmation = wl_display_sync(display);
  wl_callback_add_listener(source->confirmation, &confirmationListener, source.get());
  sources.push_back(std::move(source));
}

void WaylandClipboard::Connection::Finish(Writer& writer, bool whole) {
  close(writer.fd);
  writer.fd = -1;
  if (!whole) return;
  std::lock_guard lock(mutex);
  lastRead = std::max(lastRead, writer.id);
}

void WaylandClipboard::Connection::Write(Writer& writer) {
  while (writer.written < writer.text->size()) {
    const ssize_t count = write(writer.fd, writer.text->data() + writer.written,
                                writer.text->size() - writer.written);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (count <= 0) {
      // A reader that went away raised SIGPIPE, blocked on this thread: taken back here.
      sigset_t pipeSignal;
      sigemptyset(&pipeSignal);
      sigaddset(&pipeSignal, SIGPIPE);
      const timespec now{0, 0};
      sigtimedwait(&pipeSignal, nullptr, &now);
      return Finish(writer, false);
    }
    writer.written += static_cast<std::size_t>(count);
    writer.lastProgress = Clock::now();
  }
  Finish(writer, true);
}

void WaylandClipboard::Connection::Fail() {
  std::lock_guard lock(mutex);
  broken = true;
  confirmed.notify_all();
}

void WaylandClipboard::Connection::Serve() {
  // Writing to a reader that has gone must not end the program.
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
  std::vector<pollfd> watched;
  for (;;) {
    if (std::lock_guard lock(mutex); stopping || broken) return;
    while (wl_display_prepare_read(display) != 0)
      if (wl_display_dispatch_pending(display) < 0) return Fail();
    const bool unsent = wl_display_flush(display) < 0 && errno == EAGAIN;
    watched.assign({{wl_display_get_fd(display), short(POLLIN | (unsent ? POLLOUT : 0)), 0},
                    {wake[0], POLLIN, 0}});
    const std::size_t writing = writers.size();
    Clock::time_point giveUp = Clock::time_point::max();
    for (const Writer& writer : writers) {
      watched.push_back({writer.fd, POLLOUT, 0});
      giveUp = std::min(giveUp, writer.lastProgress + kReaderPatience);
    }
    int timeout = -1;
    if (writing > 0)
      timeout = static_cast<int>(std::max<long long>(
          0, std::chrono::ceil<std::chrono::milliseconds>(giveUp - Clock::now()).count()));
    if (poll(watched.data(), watched.size(), timeout) < 0 && errno != EINTR) {
      wl_display_cancel_read(display);
      return Fail();
    }
    if (watched[0].revents & (POLLIN | POLLERR | POLLHUP)) {
      if (wl_display_read_events(display) < 0) return Fail();
    } else {
      wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0) return Fail();
    if (watched[1].revents & POLLIN) {
      char drained[64];
      while (read(wake[0], drained, sizeof drained) > 0) {
      }
      std::optional<std::string> text;
      std::uint64_t id = 0;
      {
        std::lock_guard lock(mutex);
        text.swap(pendingText);
        id = pendingId;
      }
      if (text) SetSelection(std::move(*text), id);
    }
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < writing; ++i) {
      Writer& writer = writers[i];
      if (watched[i + 2].revents != 0) Write(writer);
      if (writer.fd >= 0 && now - writer.lastProgress >= kReaderPatience) Finish(writer, false);
    }
    std::erase_if(writers, [](const Writer& writer) { return writer.fd < 0; });
    std::erase_if(sources, [](const std::unique_ptr<Source>& source) {
      return source->cancelled && source->confirmation == nullptr;
    });
  }
}

WaylandClipboard::Connection::~Connection() {
  if (thread.joinable()) {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    const char signal = 1;
    [[maybe_unused]] const ssize_t woken = write(wake[1], &signal, 1);
    thread.join();
  }
  for (Writer& writer : writers)
    if (writer.fd >= 0) close(writer.fd);
  for (const std::unique_ptr<Source>& source : sources) {
    if (source->confirmation) wl_callback_destroy(source->confirmation);
    if (source->proxy) zwlr_data_control_source_v1_destroy(source->proxy);
  }
  if (device) zwlr_data_control_device_v1_destroy(device);
  if (manager) zwlr_data_control_manager_v1_destroy(manager);
  if (seat) wl_seat_destroy(seat);
  if (registry) wl_registry_destroy(registry);
  for (int fd : wake)
    if (fd >= 0) close(fd);
  if (display) {
    wl_display_flush(display);
    wl_display_disconnect(display);
  }
}

WaylandClipboard::WaylandClipboard() = default;
WaylandClipboard::~WaylandClipboard() = default;

bool WaylandClipboard::Available() {
  std::lock_guard lock(mutex_);
  if (!connection_ && !failed_) {
    failed_ = true;
    auto connection = std::make_unique<Connection>();
    if (connection->Connect()) {
      connection_ = std::move(connection);
      failed_ = false;
    }
  }
  if (!connection_) return false;
  std::lock_guard shared(connection_->mutex);
  return !connection_->broken;
}

std::uint64_t WaylandClipboard::Offer(const std::string& text) {
  if (!Available()) return 0;
  Connection& connection = *connection_;
  std::unique_lock lock(connection.mutex);
  const std::uint64_t id = ++connection.nextId;
  connection.pendingText = text;
  connection.pendingId = id;
  const char signal = 1;
  if (write(connection.wake[1], &signal, 1) < 0 && errno != EAGAIN) return 0;
  connection.confirmed.wait_for(
      lock, kConfirmWithin, [&] { return connection.broken || connection.lastConfirmed >= id; });
  return !connection.broken && connection.lastAccepted >= id ? id : 0;
}

bool WaylandClipboard::Read(std::uint64_t offer) {
  if (offer == 0 || !Available()) return false;
  std::lock_guard lock(connection_->mutex);
  return connection_->lastRead >= offer;
}
