#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <exception>
#include <optional>
#include <type_traits>

// Says on stderr, once per kind of exception, that work on the user-interface thread
// failed and was skipped.
void ReportEscapedException(std::exception_ptr error);

// Runs work on the user-interface thread so that nothing it throws leaves it: an
// exception there would unwind through Qt's event loop, which ends the process (and
// with it the user's unsaved text). The failure is reported and the work's result is
// the empty value; the program goes on.
template <typename Work>
auto RunContained(Work&& work) -> std::invoke_result_t<Work> {
  using Result = std::invoke_result_t<Work>;
  try {
    return work();
  } catch (...) {
    ReportEscapedException(std::current_exception());
  }
  if constexpr (!std::is_void_v<Result>) return Result{};
}

// Runs the work on the user-interface thread and returns its result: directly when
// called there, otherwise as a blocking queued call, the way a window message sent
// from another thread is handled. Either way nothing it throws escapes (RunContained).
template <typename Work>
auto OnUiThread(Work&& work) -> std::invoke_result_t<Work> {
  using Result = std::invoke_result_t<Work>;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) return RunContained(work);
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(
        app, [&] { RunContained(work); }, Qt::BlockingQueuedConnection);
  } else {
    std::optional<Result> result;
    QMetaObject::invokeMethod(
        app, [&] { result.emplace(RunContained(work)); }, Qt::BlockingQueuedConnection);
    // No result when the call could not be delivered (the application is ending).
    return result ? std::move(*result) : Result{};
  }
}
