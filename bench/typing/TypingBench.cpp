// The typing effect in the real window (offscreen by default): its rhythm against the
// requested interval, the cost of a step as the text grows, and the CPU it uses.
#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

#include "aids/TypingEffect.h"
#include "app/MainWindowDefinition.h"
#include "framework/TextCodec.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/QtRuntimeServices.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The real services, noting when each append has reached the editor.
class TimedServices : public QtRuntimeServices {
 public:
  void AppendText(Control editBox, const std::vector<Text>& texts) override {
    QtRuntimeServices::AppendText(editBox, texts);
    if (appended) appended->push_back(Clock::now());
  }
  std::vector<Clock::time_point>* appended = nullptr;
};

struct Run {
  std::vector<Clock::time_point> steps;  // when each character reached the editor
  double cpuSeconds = 0;
  double wallSeconds = 0;
};

// Types the script at the speed and records when each character arrived.
Run Type(TimedServices& services, const Text& script, const char* speed, std::size_t characters) {
  RuntimeServices& api = services;
  Run run;
  run.steps.reserve(characters);
  services.appended = &run.steps;
  api.SetProperty(Control::编辑框1, Property::Content, script);
  api.SetProperty(Control::编辑框3, Property::Content, Text(speed));
  TypingState state;
  const double cpuBefore = CpuSeconds();
  const auto start = Clock::now();
  StartTyping(api, state);
  // Wait in the event loop without spinning, as the program's own loop does.
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!api.IsThreadRunning(state.thread)) loop.quit();
  });
  poll.start(20);
  loop.exec();
  run.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.cpuSeconds = CpuSeconds() - cpuBefore;
  services.appended = nullptr;
  return run;
}

double MeanPeriodMs(const std::vector<Clock::time_point>& steps, std::size_t from, std::size_t to) {
  return std::chrono::duration<double, std::milli>(steps[to - 1] - steps[from]).count() /
         static_cast<double>(to - 1 - from);
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TimedServices services;
  MainWindow window(MainWindowDefinition(), [](const Event&) {});
  services.Attach(&window, MainWindowDefinition());
  window.show();

  // Rhythm: 500 characters at speed 1 (30 ms).
  Text rhythmScript;
  const Text zhong = TextFromUtf8("中");
  for (int i = 0; i < 500; ++i) rhythmScript += (i % 2) ? Text("a") : zhong;
  const Run rhythm = Type(services, rhythmScript, "1", 500);
  if (rhythm.steps.size() != 500) {
    std::fprintf(stderr, "rhythm: %zu steps seen\n", rhythm.steps.size());
    return 1;
  }
  const double mean = MeanPeriodMs(rhythm.steps, 0, 500);
  const double first = MeanPeriodMs(rhythm.steps, 0, 100);
  const double last = MeanPeriodMs(rhythm.steps, 400, 500);
  int within = 0;
  double longest = 0;
  for (std::size_t i = 1; i < rhythm.steps.size(); ++i) {
    const double period =
        std::chrono::duration<double, std::milli>(rhythm.steps[i] - rhythm.steps[i - 1]).count();
    within += std::abs(period - 30.0) <= 0.3 * 30.0;
    longest = std::max(longest, period);
  }
  std::printf(
      "rhythm at 30 ms: mean period %.2f ms, error %+.2f %% (goal within 2 %%); "
      "first 100 %.2f ms, last 100 %.2f ms\n"
      "  intervals within +-30 %%: %.1f %% (goal >= 95 %%), longest %.0f ms\n",
      mean, 100.0 * (mean / 30.0 - 1.0), first, last, 100.0 * within / 499.0, longest);

  // Cost per step: 100,000 characters with no pause.
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  Text longScript;
  const Text zi = TextFromUtf8("字");
  for (std::size_t i = 0; i < count; ++i) longScript += (i % 50 == 49) ? Text("\r\n") : zi;
  const Run fast = Type(services, longScript, "-1", count);
  const std::size_t n = fast.steps.size();
  const std::size_t tenth = n / 10;
  const double firstTenth = MeanPeriodMs(fast.steps, 0, tenth);
  const double lastTenth = MeanPeriodMs(fast.steps, n - tenth, n);
  std::printf(
      "no pause: %zu characters in %.2f s = %.0f characters/s; last 10%% / first 10%% "
      "step time %.2f (goal <= 1.2)\n",
      n, fast.wallSeconds, n / fast.wallSeconds, lastTenth / firstTenth);

  // CPU at the design speed "7" (210 ms): 40 characters, about 8 s.
  const Run design = Type(services, Text(40, 'x'), "7", 40);
  std::printf("speed 7: %.2f%% of one core over %.1f s (drawing included)\n",
              100.0 * design.cpuSeconds / design.wallSeconds, design.wallSeconds);
  return 0;
}
