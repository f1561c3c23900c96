#include "framework/qt/SessionCommand.h"

#include <QCoreApplication>
#include <cstdio>

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

int SendActionToRunningCopy(int& argc, char** argv, const std::string& name) {
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
  switch (answer) {
    case SessionAnswer::Done:
      return 0;
    case SessionAnswer::NoneRuns:
      std::fprintf(stderr, "orvane-notepad: %s; nothing done.\n", problem.toUtf8().constData());
      return 3;
    case SessionAnswer::NoAnswer:
      break;
  }
  std::fprintf(stderr, "orvane-notepad: %s.\n", problem.toUtf8().constData());
  return 1;
}
