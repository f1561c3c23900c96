#pragma once

#include <functional>

#include "framework/Types.h"

// A worker thread's routine; it receives the argument given to StartThread.
using ThreadRoutine = std::function<void(int argument)>;

// Worker threads, work handed to the user-interface thread or the background worker,
// waits and the clocks.
class Threads {
 public:
  virtual ~Threads() = default;

  // Starts a thread running routine(argument); its handle goes to *handle.
  virtual bool StartThread(ThreadRoutine routine, int argument = 0, int* handle = nullptr) = 0;
  // Asks the thread to end: its next Delay, DelayWithEvents or ProcessEvents
  // returns false at once. Threads are never killed from outside.
  // Once a thread has been asked to end, its requests on controls change nothing.
  virtual bool KillThread(int handle) = 0;
  // True while the thread's routine has not returned.
  virtual bool IsThreadRunning(int handle) = 0;
  // Cooperative pause: the thread stops at its next Delay, DelayWithEvents or
  // ProcessEvents until resumed. Both return the previous suspend count, -1 for an
  // unknown handle.
  virtual int SuspendThread(int handle) = 0;
  virtual int ResumeThread(int handle) = 0;
  // Sleeps (a negative time counts as 0). On a worker, false when the thread was
  // asked to end (at once, without sleeping on).
  virtual bool Delay(int milliseconds) = 0;
  // Waits while dispatching the calling thread's events; false as Delay.
  virtual bool DelayWithEvents(int milliseconds) = 0;
  // Dispatches the calling thread's pending events; false as Delay.
  virtual bool ProcessEvents() = 0;

  // Runs the work on the user-interface thread and returns when it is done. From a
  // worker that has been asked to end, the work is skipped: a stopped worker can no
  // longer change anything.
  virtual void RunOnUiThread(const std::function<void()>& work) = 0;
  // On the user-interface thread: runs the work there once, after the delay.
  virtual void RunLater(int milliseconds, std::function<void()> work) = 0;
  // Runs the work on the program's background worker for files, one piece of work at a
  // time in the order given; returns at once. Work still queued at exit is done first.
  virtual void RunInBackground(std::function<void()> work) = 0;

  // Milliseconds on a steady clock (the tick count).
  virtual long long TickCount() = 0;
  // The local date and time as YYYYMMDD-HHMMSS.
  virtual Text LocalTimeStamp() = 0;
};
