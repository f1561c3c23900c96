#pragma once

#include <semaphore.h>

namespace bass {

// Wakes a waiting thread. Post never blocks, so the output callback may call it.
class Wakeup {
 public:
  Wakeup() { sem_init(&sem_, 0, 0); }
  ~Wakeup() { sem_destroy(&sem_); }
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  void Post() { sem_post(&sem_); }
  // Waits for at least one post; posts that piled up meanwhile count as one.
  void Wait() {
    while (sem_wait(&sem_) != 0) {
    }
    while (sem_trywait(&sem_) == 0) {
    }
  }

 private:
  sem_t sem_;
};

}  // namespace bass
