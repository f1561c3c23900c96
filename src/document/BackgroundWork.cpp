#include "document/BackgroundWork.h"

#include <memory>

namespace {
constexpr long long kProgressAfterMs = 500;
constexpr int kPollMs = 20;
}  // namespace

bool RunWithProgress(Uses<Dialogs, Threads> services, const Text& label,
                     std::function<void(WorkPercent&)> work, const std::function<bool()>& giveUp) {
  auto& dialogs = services.Get<Dialogs>();
  auto& threads = services.Get<Threads>();
  struct Shared {
    std::function<void(WorkPercent&)> work;
    WorkPercent percent{0};
    std::atomic<bool> finished{false};
  };
  auto shared = std::make_shared<Shared>();
  shared->work = std::move(work);
  int worker = 0;
  const bool started = threads.StartThread(
      [shared](int) {
        shared->work(shared->percent);
        shared->finished = true;
      },
      0, &worker);
  if (!started) return false;
  const long long start = threads.TickCount();
  bool shown = false;
  bool cancelled = false;
  while (!shared->finished) {
    if (giveUp()) {
      cancelled = true;
      break;
    }
    if (threads.TickCount() - start >= kProgressAfterMs) {
      shown = true;
      if (!dialogs.ShowProgress(label, shared->percent, 100)) {
        cancelled = true;
        break;
      }
    }
    threads.DelayWithEvents(kPollMs);
  }
  if (shown) dialogs.EndProgress();
  if (cancelled) threads.KillThread(worker);
  return !cancelled;
}
