// A Qt text box of ours as a receiver: prints "window ID" once shown, then "text HEX"
// (its whole text as UTF-8) at every change, and "esc" when it gets Escape. Ends when
// stdin ends.
#include <unistd.h>
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <cstdio>

namespace {

class Box : public QPlainTextEdit {
 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      std::printf("esc\n");
      std::fflush(stdout);
      return;
    }
    QPlainTextEdit::keyPressEvent(event);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Box box;
  box.resize(300, 200);
  QObject::connect(&box, &QPlainTextEdit::textChanged, [&box] {
    std::printf("text %s\n", box.toPlainText().toUtf8().toHex().constData());
    std::fflush(stdout);
  });
  box.show();
  std::printf("window %llu\n", static_cast<unsigned long long>(box.winId()));
  std::fflush(stdout);
  QSocketNotifier input(0, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[64];
    if (read(0, buffer, sizeof buffer) <= 0) app.quit();
  });
  return app.exec();
}
