#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

// The program's worker threads by handle. Nothing is killed or suspended from
// outside: a stop or pause is a request the thread honours at its next checkpoint
// (Wait and Checkpoint below), and every wait of a worker can be interrupted.
class WorkerThreads {
 public:
  WorkerThreads() = default;
  ~WorkerThreads();
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;

  // Starts routine(argument) on a new thread; its handle (above 0), or 0.
  int Start(std::function<void(int)> routine, int argument);
  bool RequestStop(int handle);
  // Previous suspend counts, as the Windows calls report them; -1 for an unknown handle.
  int Suspend(int handle);
  int Resume(int handle);
  // False once the routine has returned, and for an unknown handle.
  bool IsRunning(int handle);
  // Whether the worker stands still in a pause at its checkpoint now: lets a test know
  // a pause has taken hold before it checks that nothing moves.
  bool IsHeld(int handle);

  // Called by a worker: waits while it is suspended, then sleeps up to the given
  // time. False at once when the thread was asked to stop. On a thread that is
  // not one of ours it simply sleeps and returns true.
  bool Wait(std::chrono::milliseconds duration);
  bool Checkpoint() { return Wait(std::chrono::milliseconds(0)); }
  // True on one of our worker threads.
  static bool OnWorkerThread();
  // A token for the calling worker (null elsewhere), and whether that worker has
  // been asked to stop: checked where its requests are carried out, so that a
  // stopped worker's last request cannot change anything any more.
  static const void* CurrentToken();
  static bool StopRequested(const void* token);

  // Asks every thread to stop and waits up to the deadline for them to end,
  // calling pump() between short waits (so that a worker blocked on the caller's
  // event loop can finish). Threads still running then are detached; the result
  // says whether every thread ended.
  bool StopAll(std::chrono::milliseconds deadline, const std::function<void()>& pump);

 private:
  struct Record {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    bool stopRequested = false;
    int suspendCount = 0;
    bool held = false;
    bool finished = false;
  };

  std::shared_ptr<Record> Find(int handle);

  std::mutex mutex_;
  std::map<int, std::shared_ptr<Record>> threads_;
  int next_ = 1;
};
