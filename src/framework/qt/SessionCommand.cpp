#include "framework/qt/SessionCommand.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "framework/qt/SessionBus.h"

namespace {

// "pause-reading" is the method PauseReading.
QString MethodOf(const std::string& name) {
  QString method;
  bool upper = true;
  for (char c : name) {
    if (c == '-') {
      upper = true;
      continue;
    }
    method += upper ? QChar(c).toUpper() : QChar(c);
    upper = false;
  }
  return method;
}

}  // namespace

void SendActionToRunningCopy(int& argc, char** argv, const std::string& name) {
  const QCoreApplication application(argc, argv);
  QString problem;
  SessionAnswer answer;
  {
    // A connection of its own, closed while the application still exists.
    const QString connection = QStringLiteral("orvane-action");
    answer = CallRunningCopy(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection),
                             MethodOf(name), nullptr, problem);
    QDBusConnection::disconnectFromBus(connection);
  }
  int status = 0;
  if (answer == SessionAnswer::NoneRuns) {
    std::fprintf(stderr, "orvane-notepad: %s; nothing done.\n", problem.toUtf8().constData());
    status = 3;
  } else if (answer == SessionAnswer::NoAnswer) {
    std::fprintf(stderr, "orvane-notepad: %s.\n", problem.toUtf8().constData());
    status = 1;
  }
  // Qt's bus thread, still winding down when the application goes, warns about types it
  // can no longer make; this short process holds nothing that needs tidying up.
  std::fflush(nullptr);
  std::_Exit(status);
}
