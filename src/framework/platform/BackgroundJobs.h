#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One worker thread that runs queued jobs one at a time, in order, so that file work
// never holds up the user-interface thread. Started with the first job.
class BackgroundJobs {
 public:
  BackgroundJobs() = default;
  BackgroundJobs(const BackgroundJobs&) = delete;
  BackgroundJobs& operator=(const BackgroundJobs&) = delete;
  // Finishes the queued jobs, then ends the worker.
  ~BackgroundJobs();

  void Add(std::function<void()> job);
  // Waits until every job added so far has run; false when the time ran out.
  bool Drain(std::chrono::milliseconds timeout);

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> queue_;
  bool busy_ = false;
  bool ending_ = false;
  std::thread worker_;
};
