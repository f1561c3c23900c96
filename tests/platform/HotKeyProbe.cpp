// Runs GlobalHotKeys in a real Qt application for the hot-key tests.
//   HotKeyProbe [--window] [--application-first] MODIFIERS:VIRTUALKEY...
// Prints "registered N" for each key in argument order, "window ID" when --window shows a
// focusable window of its own, then "ready"; afterwards "hotkey N" for each call of the
// handler, "widget-key SEQUENCE" for each key press that reaches the window and
// "widget-release KEY" for each key release (auto-repeat left out). Ends with
// status 0 when standard input reaches its end; --application-first destroys the
// application before the hot keys.
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QSocketNotifier>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <memory>

#include "framework/qt/GlobalHotKeys.h"

namespace {

class KeyLog : public QWidget {
 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const QString sequence = QKeySequence(event->keyCombination()).toString();
    std::printf("widget-key %s\n", qPrintable(sequence));
  }
  void keyReleaseEvent(QKeyEvent* event) override {
    if (event->isAutoRepeat()) return;
    std::printf("widget-release %s\n", qPrintable(QKeySequence(event->key()).toString()));
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  auto app = std::make_unique<QApplication>(argc, argv);
  auto hotKeys = std::make_unique<GlobalHotKeys>();
  hotKeys->SetHandler([](int number) { std::printf("hotkey %d\n", number); });

  bool withWindow = false, applicationFirst = false;
  for (const QString& argument : app->arguments().mid(1)) {
    if (argument == "--window" || argument == "--application-first") {
      (argument == "--window" ? withWindow : applicationFirst) = true;
      continue;
    }
    const QStringList parts = argument.split(':');
    bool modifiersOk = false, keyOk = false;
    const int modifiers = parts.value(0).toInt(&modifiersOk, 0);
    const int key = parts.value(1).toInt(&keyOk, 0);
    if (parts.size() != 2 || !modifiersOk || !keyOk) {
      std::fprintf(stderr, "bad key %s\n", qPrintable(argument));
      return 2;
    }
    std::printf("registered %d\n", hotKeys->Register(modifiers, key));
  }

  auto window = std::make_unique<KeyLog>();
  if (withWindow) {
    window->setFocusPolicy(Qt::StrongFocus);
    window->resize(200, 100);
    window->show();
    window->setFocus();
    if (!QTest::qWaitForWindowExposed(window.get(), 10000)) return 1;
    std::printf("window %llu\n", static_cast<unsigned long long>(window->winId()));
  }
  std::printf("ready\n");

  QSocketNotifier input(0, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[64];
    if (read(0, buffer, sizeof buffer) <= 0) app->quit();
  });
  const int status = app->exec();
  window.reset();
  // The hot keys must survive the application (and its X connection) going first.
  if (applicationFirst) app.reset();
  hotKeys.reset();
  return status;
}
