#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <optional>
#include <type_traits>

// Runs the work on the user-interface thread and returns its result: directly when
// called there, otherwise as a blocking queued call, the way a window message sent
// from another thread is handled.
template <typename Work>
auto OnUiThread(Work&& work) -> std::invoke_result_t<Work> {
  using Result = std::invoke_result_t<Work>;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) return work();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(
        app, [&] { work(); }, Qt::BlockingQueuedConnection);
  } else {
    std::optional<Result> result;
    QMetaObject::invokeMethod(
        app, [&] { result.emplace(work()); }, Qt::BlockingQueuedConnection);
    return std::move(*result);
  }
}
