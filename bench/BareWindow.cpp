// The reference for bench/startup.sh: the least a Qt Widgets program does to show a
// window of the main window's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("bare_window"));
  window.setFixedSize(783, 583);
  window.show();
  return app.exec();
}
