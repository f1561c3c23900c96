#include "support/FakeRuntimeServices.h"

void FakeRuntimeServices::RunOnUiThread(const std::function<void()>& work) {
  std::lock_guard lock(mutex_);
  if (!WorkerThreads::StopRequested(WorkerThreads::CurrentToken())) work();
}

void FakeRuntimeServices::RunLater(int milliseconds, std::function<void()> work) {
  std::lock_guard lock(mutex_);
  delayed_.push_back({now_ + std::max(milliseconds, 0), std::move(work)});
}

void FakeRuntimeServices::AdvanceTime(int milliseconds) {
  {
    std::lock_guard lock(mutex_);
    now_ += milliseconds;
  }
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      auto due = std::min_element(delayed_.begin(), delayed_.end(),
                                  [](const auto& a, const auto& b) { return a.due < b.due; });
      if (due == delayed_.end() || due->due > now_) return;
      work = std::move(due->work);
      delayed_.erase(due);
    }
    work();
  }
}

void FakeRuntimeServices::RunInBackground(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  background_.push_back(std::move(work));
}

int FakeRuntimeServices::RunBackgroundWork() {
  int ran = 0;
  for (;; ++ran) {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      if (background_.empty()) return ran;
      work = std::move(background_.front());
      background_.pop_front();
    }
    work();
  }
}

bool FakeRuntimeServices::StartThread(ThreadRoutine routine, int argument, int* handle) {
  const int started = threads_.Start(std::move(routine), argument);
  if (handle) *handle = started;
  std::lock_guard lock(mutex_);
  Record(StartThreadCall{argument});
  return started != 0;
}

bool FakeRuntimeServices::KillThread(int handle) { return threads_.RequestStop(handle); }

bool FakeRuntimeServices::IsThreadRunning(int handle) { return threads_.IsRunning(handle); }

int FakeRuntimeServices::SuspendThread(int handle) { return threads_.Suspend(handle); }

int FakeRuntimeServices::ResumeThread(int handle) { return threads_.Resume(handle); }

long long FakeRuntimeServices::TickCount() {
  std::lock_guard lock(mutex_);
  return now_;
}

bool FakeRuntimeServices::Delay(int milliseconds) {
  std::function<void(int)> hook;
  {
    std::lock_guard lock(mutex_);
    delays_.push_back(milliseconds);
    now_ += std::max(milliseconds, 0);
    hook = onDelay;
  }
  if (hook) hook(milliseconds);
  return threads_.Checkpoint();
}

bool FakeRuntimeServices::DelayWithEvents(int milliseconds) {
  if (WorkerThreads::OnWorkerThread()) return Delay(milliseconds);
  bool going = true;
  mutex_.Released([&] { going = Delay(milliseconds); });
  return going;
}

bool FakeRuntimeServices::ProcessEvents() {
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    hook = onProcessEvents;
  }
  if (hook) hook();
  return threads_.Checkpoint();
}

std::vector<int> FakeRuntimeServices::Delays() const {
  std::lock_guard lock(mutex_);
  return delays_;
}

bool FakeRuntimeServices::WaitForThread(int handle, int timeoutMilliseconds) {
  const auto until =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (threads_.IsRunning(handle)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool FakeRuntimeServices::WaitUntilThreadHeld(int handle, int timeoutMilliseconds) {
  const auto until =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (!threads_.IsHeld(handle)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
