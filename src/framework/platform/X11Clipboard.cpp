#include "framework/platform/X11Clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

struct X11Clipboard::Connection {
  xcb_connection_t* x = nullptr;
  xcb_window_t window = XCB_NONE;
  xcb_atom_t clipboard = XCB_NONE, targets = XCB_NONE, utf8 = XCB_NONE, plainUtf8 = XCB_NONE;
  std::size_t maxBytes = 0;  // of a text set in one piece
  int wake[2] = {-1, -1};    // written to stop the server

  ~Connection() {
    if (x) xcb_disconnect(x);
    for (int end : wake)
      if (end >= 0) close(end);
  }

  xcb_atom_t Intern(const char* name) const {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        x, xcb_intern_atom(x, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
  }
};

X11Clipboard::X11Clipboard() = default;

X11Clipboard::~X11Clipboard() {
  if (server_.joinable()) {
    const char stop = 0;
    (void)!write(connection_->wake[1], &stop, 1);
    server_.join();
  }
}

bool X11Clipboard::ConnectLocked() {
  if (connection_) return true;
  if (failed_) return false;
  failed_ = true;
  auto connection = std::make_unique<Connection>();
  int screenNumber = 0;
  connection->x = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection->x) || pipe2(connection->wake, O_CLOEXEC) != 0)
    return false;
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection->x));
  for (int n = 0; n < screenNumber && screens.rem > 0; ++n) xcb_screen_next(&screens);
  if (screens.rem == 0) return false;
  // Asked for the text through a window of its own that is never shown.
  connection->window = xcb_generate_id(connection->x);
  xcb_create_window(connection->x, XCB_COPY_FROM_PARENT, connection->window, screens.data->root, 0,
                    0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
  connection->clipboard = connection->Intern("CLIPBOARD");
  connection->targets = connection->Intern("TARGETS");
  connection->utf8 = connection->Intern("UTF8_STRING");
  connection->plainUtf8 = connection->Intern("text/plain;charset=utf-8");
  // A ChangeProperty request's own fields take 28 bytes of it.
  const std::size_t requestBytes = xcb_get_maximum_request_length(connection->x) * 4u;
  connection->maxBytes = requestBytes > 64 ? requestBytes - 64 : 0;
  if (xcb_connection_has_error(connection->x) || connection->plainUtf8 == XCB_NONE) return false;
  connection_ = std::move(connection);
  failed_ = false;
  // Only this thread reads from the connection from now on: the other requests want no
  // answer, so no event is ever queued where its poll would not see it.
  server_ = std::thread([this] { Serve(); });
  return true;
}

bool X11Clipboard::Available() {
  std::lock_guard lock(mutex_);
  return ConnectLocked();
}

bool X11Clipboard::Offer(const std::string& utf8, int withinMs) {
  std::unique_lock lock(mutex_);
  if (!ConnectLocked() || utf8.size() > connection_->maxBytes) return false;
  text_ = utf8;
  asked_ = read_ = false;
  xcb_set_selection_owner(connection_->x, connection_->window, connection_->clipboard,
                          XCB_CURRENT_TIME);
  if (xcb_flush(connection_->x) <= 0) return false;
  return changed_.wait_for(lock, std::chrono::milliseconds(withinMs), [this] { return asked_; });
}

bool X11Clipboard::Read() {
  std::lock_guard lock(mutex_);
  return read_;
}

void X11Clipboard::Serve() {
  Connection& c = *connection_;
  const auto answer = [&](const xcb_selection_request_event_t& request) {
    const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
    bool given = false;
    {
      std::lock_guard lock(mutex_);
      if (request.selection == c.clipboard && request.owner == c.window) {
        if (request.target == c.targets) {
          const xcb_atom_t offered[] = {c.targets, c.utf8, c.plainUtf8};
          xcb_change_property(c.x, XCB_PROP_MODE_REPLACE, request.requestor, property,
                              XCB_ATOM_ATOM, 32, 3, offered);
          given = asked_ = true;
        } else if (request.target == c.utf8 || request.target == c.plainUtf8) {
          xcb_change_property(c.x, XCB_PROP_MODE_REPLACE, request.requestor, property,
                              request.target, 8, static_cast<uint32_t>(text_.size()), text_.data());
          given = asked_ = read_ = true;
        }
      }
    }
    xcb_selection_notify_event_t notice{};
    notice.response_type = XCB_SELECTION_NOTIFY;
    notice.time = request.time;
    notice.requestor = request.requestor;
    notice.selection = request.selection;
    notice.target = request.target;
    notice.property = given ? property : XCB_NONE;
    xcb_send_event(c.x, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notice));
    xcb_flush(c.x);
    changed_.notify_all();
  };
  for (;;) {
    pollfd watched[2] = {{xcb_get_file_descriptor(c.x), POLLIN, 0}, {c.wake[0], POLLIN, 0}};
    if (poll(watched, 2, -1) < 0 && errno != EINTR) return;
    if (watched[1].revents != 0) return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(c.x)) {
      if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST)
        answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
      std::free(event);
    }
    if (xcb_connection_has_error(c.x)) return;
  }
}
