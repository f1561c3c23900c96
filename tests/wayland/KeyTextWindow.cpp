// A plain window for the Wayland tests: writes the text of every key press it gets to stdout
// (Ctrl+A as 0x01, as a terminal in raw mode would; for Ctrl+V the clipboard's text, as an
// editor pastes) and "focus" to stderr each time it gets the keyboard. A native client, so
// it needs no XWayland.
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QRasterWindow>
#include <cstdio>

namespace {

class KeyTextWindow : public QRasterWindow {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter(this).fillRect(QRect(QPoint(), size()), Qt::white);
  }
  void focusInEvent(QFocusEvent*) override {
    std::fputs("focus\n", stderr);
    std::fflush(stderr);
  }
  void keyPressEvent(QKeyEvent* event) override {
    const QByteArray text = event->matches(QKeySequence::Paste)
                                ? QGuiApplication::clipboard()->text().toUtf8()
                                : event->text().toUtf8();
    std::fwrite(text.constData(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  KeyTextWindow window;
  window.resize(400, 300);
  window.show();
  return app.exec();
}
