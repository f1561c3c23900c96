// QtRuntimeServices: worker threads, work handed to the user-interface thread and to the
// background worker, waits and clocks.
#include "framework/qt/QtRuntimeServices.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <ctime>

#include "framework/platform/BackgroundJobs.h"
#include "framework/platform/WorkerThreads.h"
#include "framework/qt/UiThread.h"

namespace {

// Work still queued at exit may take this long to finish (a disk that is slow to flush).
constexpr std::chrono::seconds kBackgroundWorkAtExit{10};

}  // namespace

bool QtRuntimeServices::StartThread(ThreadRoutine routine, int argument, int* handle) {
  const int started = threads_.Start(std::move(routine), argument);
  if (handle) *handle = started;
  return started != 0;
}

bool QtRuntimeServices::KillThread(int handle) { return threads_.RequestStop(handle); }

bool QtRuntimeServices::IsThreadRunning(int handle) { return threads_.IsRunning(handle); }

int QtRuntimeServices::SuspendThread(int handle) { return threads_.Suspend(handle); }

int QtRuntimeServices::ResumeThread(int handle) { return threads_.Resume(handle); }

bool QtRuntimeServices::Delay(int milliseconds) {
  return threads_.Wait(std::chrono::milliseconds(std::max(milliseconds, 0)));
}

bool QtRuntimeServices::DelayWithEvents(int milliseconds) {
  if (WorkerThreads::OnWorkerThread()) return Delay(milliseconds);
  if (milliseconds <= 0) return true;
  // The user-interface thread keeps handling events while it waits, without spinning.
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
  return true;
}

bool QtRuntimeServices::ProcessEvents() {
  if (WorkerThreads::OnWorkerThread()) return threads_.Checkpoint();
  QCoreApplication::processEvents();
  return true;
}

bool QtRuntimeServices::StopAllThreads() {
  const bool onUiThread =
      QCoreApplication::instance() && QThread::currentThread() == qApp->thread();
  return threads_.StopAll(std::chrono::milliseconds(3000), [onUiThread] {
    if (onUiThread) QCoreApplication::processEvents();
  });
}

void QtRuntimeServices::RunOnUiThread(const std::function<void()>& work) {
  const void* worker = WorkerThreads::CurrentToken();
  OnUiThread([&] {
    if (!WorkerThreads::StopRequested(worker)) work();
  });
}

void QtRuntimeServices::RunLater(int milliseconds, std::function<void()> work) {
  QTimer::singleShot(std::max(milliseconds, 0), QCoreApplication::instance(), std::move(work));
}

void QtRuntimeServices::RunInBackground(std::function<void()> work) {
  background_->Add(std::move(work));
}

bool QtRuntimeServices::FinishBackgroundWork() { return background_->Drain(kBackgroundWorkAtExit); }

long long QtRuntimeServices::TickCount() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Text QtRuntimeServices::LocalTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char stamp[32] = "";
  if (::localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return stamp;
}
