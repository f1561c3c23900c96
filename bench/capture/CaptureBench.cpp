// Measures CameraDll.dll inside a running QApplication, the way the program calls it:
// the time from the call to the overlay's first frame, and the memory a capture adds.
// Each run selects most of the screen with synthetic pointer events and copies it with
// Enter, so that the copy and the clipboard's image are counted too.
//
//   capture_bench LIBRARY [RUNS]      (bench/capture/capture.sh gives it a 1920x1080 Xvfb)
#include <dlfcn.h>
#include <malloc.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using CameraSubAreaFunction = int (*)(int);

// A field of /proc/self/status, in kB.
long StatusKb(const char* field) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  const QByteArray key = QByteArray(field) + ':';
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
  }
  return -1;
}

// Resets VmHWM to the current RSS, so that it then shows the peak of one capture.
bool ResetPeak() {
  QFile refs(QStringLiteral("/proc/self/clear_refs"));
  return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

struct Run {
  double exposed_ms = -1;  // the overlay's window is mapped and exposed
  double shown_ms = -1;    // its first frame has been painted and sent to the X server
  long added_kb = -1;      // peak RSS during the capture minus RSS before it
  long kept_kb = -1;       // RSS after it minus RSS before: mostly the image on the clipboard
  int result = -1;
};

// Watches the whole application for the overlay; once its first frame is out, selects
// and copies an area through it.
class Watch : public QObject {
 public:
  Watch(Run& run, const QElapsedTimer& clock) : run_(run), clock_(clock) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (overlay_ == nullptr) {
      auto* widget = qobject_cast<QWidget*>(watched);
      if (event->type() == QEvent::Show && widget != nullptr &&
          widget->objectName() == QLatin1String("CameraSubAreaOverlay")) {
        overlay_ = widget;
      }
    } else if (event->type() == QEvent::Expose && watched == overlay_->windowHandle() &&
               run_.exposed_ms < 0) {
      run_.exposed_ms = clock_.nsecsElapsed() / 1e6;
    } else if (event->type() == QEvent::Paint && watched == overlay_ && run_.shown_ms < 0) {
      run_.shown_ms = 0;
      // Runs once this paint has been flushed to the X server.
      QTimer::singleShot(0, overlay_, [this] {
        run_.shown_ms = clock_.nsecsElapsed() / 1e6;
        const QSize size = overlay_->size();
        const QPoint from(size.width() / 20, size.height() / 20);
        const QPoint to(size.width() - from.x(), size.height() - from.y());
        QTest::mousePress(overlay_, Qt::LeftButton, {}, from);
        QTest::mouseMove(overlay_, to);
        QTest::mouseRelease(overlay_, Qt::LeftButton, {}, to);
        QTest::keyClick(overlay_, Qt::Key_Return);
      });
    }
    return false;
  }

 private:
  Run& run_;
  const QElapsedTimer& clock_;
  QWidget* overlay_ = nullptr;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s LIBRARY [RUNS]\n", argv[0]);
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
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;

  QApplication app(argc, argv);
  const QSize screen = QGuiApplication::primaryScreen()->size();
  QWidget window;  // the caller's window, as the program's main window would be
  window.setWindowTitle(QStringLiteral("capture_bench"));
  window.resize(783, 583);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window, 5000)) {
    std::fprintf(stderr, "the window was never shown\n");
    return 1;
  }

  std::vector<Run> results;
  for (int i = 0; i <= runs; ++i) {  // run 0 is the first, cold capture
    Run run;
    QElapsedTimer clock;
    Watch watch(run, clock);
    app.installEventFilter(&watch);
    // Every run starts alike: no image of an earlier run on the clipboard, and freed
    // memory given back, so that the allocator's reuse does not hide what a capture takes.
    QGuiApplication::clipboard()->clear();
    QCoreApplication::processEvents();
    malloc_trim(0);
    const bool peak_reset = ResetPeak();
    const long before = StatusKb("VmRSS");
    clock.start();
    run.result = capture(static_cast<int>(window.winId()));
    app.removeEventFilter(&watch);
    if (peak_reset) run.added_kb = StatusKb("VmHWM") - before;
    QCoreApplication::processEvents();
    malloc_trim(0);
    const long after = StatusKb("VmRSS");
    run.kept_kb = after - before;
    results.push_back(run);
    std::printf(
        "run %2d: result %d, exposed %6.1f ms, first frame %6.1f ms, peak +%5.1f MB, "
        "kept +%5.1f MB\n",
        i, run.result, run.exposed_ms, run.shown_ms, run.added_kb / 1024.0, run.kept_kb / 1024.0);
    std::fflush(stdout);
  }

  std::vector<double> exposed, shown, added;
  for (size_t i = 1; i < results.size(); ++i) {
    exposed.push_back(results[i].exposed_ms);
    shown.push_back(results[i].shown_ms);
    added.push_back(results[i].added_kb / 1024.0);
  }
  std::printf("\nscreen %dx%d, selection 90%% of it copied with Enter each run\n", screen.width(),
              screen.height());
  std::printf(
      "call -> overlay's first frame: first %.1f ms, median of %d later runs %.1f ms "
      "(exposed: %.1f ms)\n",
      results[0].shown_ms, runs, Median(shown), Median(exposed));
  std::printf("peak memory added by a capture: first %.1f MB, median of later runs %.1f MB\n",
              results[0].added_kb / 1024.0, Median(added));
  const bool ok = std::all_of(results.begin(), results.end(),
                              [](const Run& run) { return run.result == 1 && run.shown_ms > 0; });
  return ok ? 0 : 1;
}
