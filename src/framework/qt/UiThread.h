#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>
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
  // The queued call orders the two threads with Qt's own semaphore, which ThreadSanitizer
  // cannot see inside Qt's uninstrumented library. This flag states the same order in
  // C++ terms: what the caller wrote before is seen by the work, and what the work
  // wrote (its result, the caller's variables) is seen by the caller afterwards. The
  // work looks at the flag before anything else.
  std::atomic<bool> handedOver{false};
  if constexpr (std::is_void_v<Result>) {
    handedOver.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        app,
        [&] {
          (void)handedOver.load(std::memory_order_acquire);
          RunContained(work);
          handedOver.store(false, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    (void)handedOver.load(std::memory_order_acquire);
  } else {
    std::optional<Result> result;
    handedOver.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        app,
        [&] {
          (void)handedOver.load(std::memory_order_acquire);
          result.emplace(RunContained(work));
          handedOver.store(false, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    (void)handedOver.load(std::memory_order_acquire);
    // No result when the call could not be delivered (the application is ending).
    return result ? std::move(*result) : Result{};
  }
}
