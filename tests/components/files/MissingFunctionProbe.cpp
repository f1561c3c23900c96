// Binds QTTSInit from the msc.dll in the folder given as the first argument, the
// way the program binds its libraries, and prints the text of the message box
// that appears before the process ends; then presses its button. Prints "bound"
// and ends with status 0 when the function could be bound and was called.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

#include "framework/platform/LibraryBinding.h"
#include "framework/qt/QtHost.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string folder = argv[1];
  QtHost host(argc, argv);
  SetLibraryDirectoryForTesting(folder);

  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box->buttons().isEmpty()) return;
    const bool stopIcon = box->icon() == QMessageBox::Critical;
    std::printf("icon=%s\n%s\n", stopIcon ? "stop" : "other", box->text().toStdString().c_str());
    std::fflush(stdout);
    box->buttons().first()->click();
  });
  poll.start(20);
  QTimer::singleShot(0, [] {
    using Init = int(const char*);
    auto* init = reinterpret_cast<Init*>(BindLibraryFunction("msc.dll", "QTTSInit"));
    init("");
    std::printf("bound\n");  // the library's code ran
    std::fflush(stdout);
    std::_Exit(0);
  });
  QTimer::singleShot(10000, [] { std::_Exit(3); });  // never hang a test run
  return QApplication::exec();
}
