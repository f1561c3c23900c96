// Hosts CameraDll.dll for its tests the way the program does: loaded by name at run time
// into a process whose QApplication is already running. Its window covers the desktop
// with a picture in which every pixel has a colour of its own, so that an area copied
// one pixel off never matches.
//
//   capture_host LIBRARY            shows the window, prints "ready WINDOW_ID", then reads
//                                   commands from standard input: "capture" runs
//                                   CameraSubArea with the window's id and prints
//                                   "result N"; "quit" (or the end of input) ends.
//   capture_host LIBRARY --once     one call right after QApplication starts, no window
//   capture_host LIBRARY --thread   one call from a thread other than the GUI thread
//   capture_host LIBRARY --core-app one call with only a QCoreApplication
//   capture_host LIBRARY --no-app   one call before any application object exists
#include <dlfcn.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

using CameraSubAreaFunction = int (*)(int);

void Say(const char* format, int value) {
  std::printf(format, value);
  std::fflush(stdout);
}

// The colour of a device pixel, unique over 2048 x 1536 pixels.
QRgb PatternColour(int x, int y) {
  return qRgb(x & 0xff, y & 0xff, (x >> 8) * 32 + (y >> 8) * 4 + 3);
}

class PatternWindow : public QWidget {
 public:
  explicit PatternWindow(CameraSubAreaFunction capture) : capture_(capture) {
    setWindowTitle(QStringLiteral("capture host"));
    setGeometry(QGuiApplication::primaryScreen()->virtualGeometry());
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(input, &QSocketNotifier::activated, this, [this, input] { ReadCommands(input); });
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const qreal ratio = devicePixelRatioF();
    const QSize size = (QSizeF(this->size()) * ratio).toSize();
    if (pattern_.size() != size) {
      pattern_ = QImage(size, QImage::Format_RGB32);
      for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(pattern_.scanLine(y));
        for (int x = 0; x < size.width(); ++x) line[x] = PatternColour(x, y);
      }
      pattern_.setDevicePixelRatio(ratio);
    }
    QPainter(this).drawImage(0, 0, pattern_);
    if (!announced_) {
      announced_ = true;
      // After this paint has reached the X server.
      QTimer::singleShot(0, this, [this] { Say("ready %d\n", static_cast<int>(winId())); });
    }
  }

 private:
  void ReadCommands(QSocketNotifier* input) {
    char chunk[256];
    const ssize_t count = read(STDIN_FILENO, chunk, sizeof chunk);
    if (count <= 0) {
      input->setEnabled(false);
      QCoreApplication::quit();
      return;
    }
    pending_.append(chunk, static_cast<size_t>(count));
    // A capture runs an event loop of its own, in which this is called again: take each
    // line off the buffer before running it.
    for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
      const std::string command = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (command == "capture") {
        Say("result %d\n", capture_(static_cast<int>(winId())));
      } else if (command == "quit") {
        QCoreApplication::quit();
      } else {
        std::fprintf(stderr, "unknown command: %s\n", command.c_str());
      }
    }
  }

  CameraSubAreaFunction capture_;
  QImage pattern_;
  std::string pending_;
  bool announced_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s LIBRARY [--once | --thread | --core-app | --no-app]\n",
                 argv[0]);
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  auto capture = library == nullptr
                     ? nullptr
                     : reinterpret_cast<CameraSubAreaFunction>(dlsym(library, "CameraSubArea"));
  if (capture == nullptr) {
    std::fprintf(stderr, "cannot bind CameraSubArea: %s\n", dlerror());
    return 2;
  }
  const char* mode = argc > 2 ? argv[2] : "";
  if (std::strcmp(mode, "--no-app") == 0) {
    Say("result %d\n", capture(0));
    return 0;
  }
  if (std::strcmp(mode, "--core-app") == 0) {
    QCoreApplication app(argc, argv);
    Say("result %d\n", capture(0));
    return 0;
  }
  QApplication app(argc, argv);
  if (std::strcmp(mode, "--once") == 0) {
    Say("result %d\n", capture(0));
    return 0;
  }
  if (std::strcmp(mode, "--thread") == 0) {
    int result = -1;
    std::thread([&result, capture] { result = capture(0); }).join();
    Say("result %d\n", result);
    return 0;
  }
  PatternWindow window(capture);
  window.show();
  return app.exec();
}
