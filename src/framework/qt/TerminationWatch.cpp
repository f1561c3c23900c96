#include "framework/qt/TerminationWatch.h"

#include <QSocketNotifier>

#include "framework/platform/TerminationSignals.h"

bool WatchTerminationSignals(QObject* owner, std::function<void(int signal)> routine) {
  const int pipe = termination_signals::Install();
  if (pipe < 0) return false;
  auto* notifier = new QSocketNotifier(pipe, QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [routine = std::move(routine)] {
    while (const int signal = termination_signals::Take()) routine(signal);
  });
  return true;
}
