// Autosave against the keystroke: a typist's keys into the real editor (offscreen by
// default), with autosave off and on, for a short and a long script. A key's latency is
// the time from when it was due to when the editor had handled it, so a copy taken on
// the user-interface thread in between would show in the slowest keys. Also: how long
// after the last key the copy on disk holds the text.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/MainWindowDefinition.h"
#include "document/Autosave.h"
#include "framework/TextCodec.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/QtRuntimeServices.h"

namespace {

constexpr int kKeyPeriodMs = 25;  // 40 keys a second: a fast typist
constexpr int kKeys = 240;

struct Figures {
  double medianMs = 0;
  double p99Ms = 0;
  double maxMs = 0;
  double copyAfterLastKeyMs = -1;  // -1: autosave off
};

Figures TypeKeys(QtRuntimeServices& services, QWidget* editor, bool autosave, AutosaveState& state,
                 DocumentState& document, int scriptCharacters) {
  RuntimeServices& api = services;
  Text script;
  const Text zi = TextFromUtf8("字");
  for (int i = 0; i < scriptCharacters; ++i) script += (i % 50 == 49) ? Text("\r\n") : zi;
  api.SetProperty(Control::编辑框1, Property::Content, script);
  editor->setFocus();

  std::vector<double> latencies;
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  int sent = 0;
  // Each key is due at a fixed time from the start; waiting for it never drifts.
  std::function<void()> nextKey = [&] {
    const double due = static_cast<double>(sent + 1) * kKeyPeriodMs;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(editor, &press);
    QApplication::sendEvent(editor, &release);
    if (autosave) AutosaveTextChanged(api, document, state);
    latencies.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6 - due);
    if (++sent == kKeys) return loop.quit();
    const double nextDue = static_cast<double>(sent + 1) * kKeyPeriodMs;
    const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    QTimer::singleShot(std::chrono::milliseconds(static_cast<int>(std::max(0.0, nextDue - now))),
                       Qt::PreciseTimer, &loop, nextKey);
  };
  QTimer::singleShot(std::chrono::milliseconds(kKeyPeriodMs), Qt::PreciseTimer, &loop, nextKey);
  loop.exec();

  Figures figures;
  std::sort(latencies.begin(), latencies.end());
  figures.medianMs = latencies[latencies.size() / 2];
  figures.p99Ms = latencies[latencies.size() * 99 / 100];
  figures.maxMs = latencies.back();
  if (!autosave) return figures;

  // The copy on disk, once it holds the last key.
  const QElapsedTimer sinceLastKey = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  const std::string path = Utf8FromText(AutosaveTextPath(api, state));
  const std::uintmax_t expected = Utf8FromText(script).size() + static_cast<std::uintmax_t>(kKeys);
  while (sinceLastKey.elapsed() < 10000) {
    std::error_code error;
    if (std::filesystem::file_size(path, error) == expected) {
      figures.copyAfterLastKeyMs = static_cast<double>(sinceLastKey.nsecsElapsed()) / 1e6;
      break;
    }
    QEventLoop wait;
    QTimer::singleShot(5, &wait, &QEventLoop::quit);
    wait.exec();
  }
  DiscardAutosaveCopy(api, state);
  services.FinishBackgroundWork();
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  char folder[] = "/tmp/autosave-bench-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  setenv("XDG_STATE_HOME", folder, 1);
  QApplication app(argc, argv);
  QtRuntimeServices services;
  MainWindow window(MainWindowDefinition(), [](const Event&) {});
  services.Attach(&window, MainWindowDefinition());
  window.show();
  QWidget* editor = window.ControlWidget(Control::编辑框1);
  DocumentState document;
  document.encoding = TextEncoding::Utf8;  // the copy is converted too

  for (const int characters : {1000, 100000}) {
    AutosaveState state;
    const Figures off = TypeKeys(services, editor, false, state, document, characters);
    const Figures on = TypeKeys(services, editor, true, state, document, characters);
    std::printf(
        "%d-character script, %d keys every %d ms: key latency median %.2f / %.2f ms, "
        "99th percentile %.2f / %.2f ms, slowest %.2f / %.2f ms (autosave off / on; "
        "slowest ratio %.2f); copy on disk %.0f ms after the last key\n",
        characters, kKeys, kKeyPeriodMs, off.medianMs, on.medianMs, off.p99Ms, on.p99Ms, off.maxMs,
        on.maxMs, on.maxMs / std::max(off.maxMs, 0.001), on.copyAfterLastKeyMs);
  }
  // What autosave does on the user-interface thread at most once a delay: take the text.
  std::vector<double> takes;
  for (int i = 0; i < 21; ++i) {
    QElapsedTimer took;
    took.start();
    const Text text = static_cast<RuntimeServices&>(services)
                          .GetProperty(Control::编辑框1, Property::Content)
                          .AsText();
    takes.push_back(static_cast<double>(took.nsecsElapsed()) / 1e6);
    if (text.empty()) return 1;
  }
  std::sort(takes.begin(), takes.end());
  std::printf("taking the 100,000-character text on the user-interface thread: median %.2f ms\n",
              takes[takes.size() / 2]);
  std::filesystem::remove_all(folder);
  return 0;
}
