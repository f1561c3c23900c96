#include "framework/platform/WorkerThreads.h"

#include <vector>

namespace {
// The record of the worker running on this thread, if it is one of ours.
thread_local void* currentRecord = nullptr;
}  // namespace

WorkerThreads::~WorkerThreads() {
  StopAll(std::chrono::milliseconds(2000), [] {});
}

int WorkerThreads::Start(std::function<void(int)> routine, int argument) {
  auto record = std::make_shared<Record>();
  int handle = 0;
  {
    std::lock_guard lock(mutex_);
    // Threads that have ended are joined here; their handles stay valid.
    for (auto& [number, old] : threads_) {
      bool finished = false;
      {
        std::lock_guard oldLock(old->mutex);
        finished = old->finished;
      }
      if (finished && old->thread.joinable()) old->thread.join();
    }
    handle = next_++;
    threads_[handle] = record;
  }
  try {
    record->thread = std::thread([record, routine = std::move(routine), argument] {
      currentRecord = record.get();
      routine(argument);
      std::lock_guard lock(record->mutex);
      record->finished = true;
      record->changed.notify_all();
    });
  } catch (const std::system_error&) {
    std::lock_guard lock(mutex_);
    threads_.erase(handle);
    return 0;
  }
  return handle;
}

std::shared_ptr<WorkerThreads::Record> WorkerThreads::Find(int handle) {
  std::lock_guard lock(mutex_);
  auto found = threads_.find(handle);
  return found == threads_.end() ? nullptr : found->second;
}

bool WorkerThreads::RequestStop(int handle) {
  auto record = Find(handle);
  if (!record) return false;
  std::lock_guard lock(record->mutex);
  record->stopRequested = true;
  record->changed.notify_all();
  return true;
}

int WorkerThreads::Suspend(int handle) {
  auto record = Find(handle);
  if (!record) return -1;
  std::lock_guard lock(record->mutex);
  return record->suspendCount++;
}

int WorkerThreads::Resume(int handle) {
  auto record = Find(handle);
  if (!record) return -1;
  std::lock_guard lock(record->mutex);
  const int previous = record->suspendCount;
  if (record->suspendCount > 0 && --record->suspendCount == 0) record->changed.notify_all();
  return previous;
}

bool WorkerThreads::IsRunning(int handle) {
  auto record = Find(handle);
  if (!record) return false;
  std::lock_guard lock(record->mutex);
  return !record->finished;
}

bool WorkerThreads::IsHeld(int handle) {
  auto record = Find(handle);
  if (!record) return false;
  std::lock_guard lock(record->mutex);
  return record->held && record->suspendCount > 0 && !record->stopRequested;
}

bool WorkerThreads::OnWorkerThread() { return currentRecord != nullptr; }

const void* WorkerThreads::CurrentToken() { return currentRecord; }

bool WorkerThreads::StopRequested(const void* token) {
  if (!token) return false;
  auto* record = static_cast<Record*>(const_cast<void*>(token));
  std::lock_guard lock(record->mutex);
  return record->stopRequested;
}

bool WorkerThreads::Wait(std::chrono::milliseconds duration) {
  auto* record = static_cast<Record*>(currentRecord);
  if (!record) {
    if (duration.count() > 0) std::this_thread::sleep_for(duration);
    return true;
  }
  std::unique_lock lock(record->mutex);
  // A paused worker stops here, before its next step.
  record->held = true;
  record->changed.wait(lock, [&] { return record->stopRequested || record->suspendCount == 0; });
  record->held = false;
  if (record->stopRequested) return false;
  if (duration.count() > 0) {
    record->changed.wait_for(lock, duration, [&] { return record->stopRequested; });
    if (record->stopRequested) return false;
  }
  return true;
}

bool WorkerThreads::StopAll(std::chrono::milliseconds deadline, const std::function<void()>& pump) {
  bool allEnded = true;
  std::vector<std::shared_ptr<Record>> records;
  {
    std::lock_guard lock(mutex_);
    for (auto& [handle, record] : threads_) records.push_back(record);
    threads_.clear();
  }
  for (auto& record : records) {
    std::lock_guard lock(record->mutex);
    record->stopRequested = true;
    record->changed.notify_all();
  }
  const auto until = std::chrono::steady_clock::now() + deadline;
  for (auto& record : records) {
    if (!record->thread.joinable()) continue;
    for (;;) {
      {
        std::unique_lock lock(record->mutex);
        if (record->changed.wait_for(lock, std::chrono::milliseconds(5),
                                     [&] { return record->finished; }))
          break;
      }
      if (std::chrono::steady_clock::now() >= until) break;
      pump();
    }
    std::unique_lock lock(record->mutex);
    if (record->finished) {
      lock.unlock();
      record->thread.join();
    } else {
      // Still inside a call that does not return: never hang the exit on it.
      lock.unlock();
      record->thread.detach();
      allEnded = false;
    }
  }
  return allEnded;
}
