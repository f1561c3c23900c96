#include "framework/qt/QtHost.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QMessageBox>
#include <QSessionManager>
#include <QStyleFactory>
#include <cstdio>
#include <cstdlib>

#include "framework/platform/FatalError.h"
#include "framework/platform/MemoryPolicy.h"
#include "framework/platform/ProgramLocation.h"
#include "framework/qt/ControlFonts.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/MessageBox.h"
#include "framework/qt/QtRuntimeServices.h"
#include "framework/qt/QtText.h"
#include "framework/qt/QtTranslations.h"
#include "framework/qt/TerminationWatch.h"
#include "framework/qt/UiThread.h"

namespace {

// "宋体" and "SimSun" resolve to a Song/Ming-style face that is installed with the
// program's dependencies, whichever of them is present.
void InstallFontSubstitutions() {
  const QStringList songFaces = {"AR PL UMing CN",    "AR PL UMing TW",      "AR PL UMing HK",
                                 "Noto Serif CJK SC", "Source Han Serif SC", "AR PL SungtiL GB"};
  QFont::insertSubstitutions(QStringLiteral("宋体"), songFaces);
  QFont::insertSubstitutions(QStringLiteral("SimSun"), songFaces);
}

[[noreturn]] void ShowFatalErrorAndExit(const Text& message) {
  OnUiThread([&] { RunMessageBox(nullptr, ToQString(message), 0x10, QStringLiteral("错误")); });
  ::_exit(kFatalExitStatus);
}

}  // namespace

struct QtHost::State {
  std::unique_ptr<QApplication> app;
  QtRuntimeServices services;
  std::unique_ptr<MainWindow> window;
  EventSink sink;
  std::function<void()> exitRoutine;
  bool ending = false;  // a termination signal has closed the window
};

QtHost::QtHost(int& argc, char** argv) : state_(std::make_unique<State>()) {
  ReturnLargeBlocksToTheSystem();
  state_->app = std::make_unique<QApplication>(argc, argv);
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  QApplication::setQuitOnLastWindowClosed(false);
  InstallFontSubstitutions();
  InstallQtTranslations();
  QApplication::setFont(DefaultControlFont());
  QDir::setCurrent(QString::fromStdString(ExecutableDirectory()));
  SetFatalErrorHandler(ShowFatalErrorAndExit);
}

QtHost::~QtHost() {
  SetFatalErrorHandler(nullptr);
  state_->window.reset();
}

RuntimeServices& QtHost::Services() { return state_->services; }

void QtHost::SetExitRoutine(std::function<void()> routine) {
  state_->exitRoutine = std::move(routine);
}

void QtHost::SetTerminationRoutine(std::function<std::optional<Text>()> routine) {
  WatchTerminationSignals(state_->app.get(), [this, routine = std::move(routine)](int) {
    if (state_->ending) return;
    state_->ending = true;
    const std::optional<Text> copy = routine();
    if (copy && !copy->empty())
      std::fprintf(stderr, "orvane-notepad: unsaved text written to %s\n",
                   ToQString(*copy).toUtf8().constData());
    else if (copy)
      std::fprintf(stderr,
                   "orvane-notepad: unsaved text could not be written to a recovery file\n");
    // Open dialogs and boxes answer Cancel (or their Esc answer), so that the handlers
    // under them return and the window can close. A box that refuses stays.
    for (int tries = 0; tries < 16; ++tries) {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || !modal->close()) break;
    }
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  });
}

void QtHost::LoadWindow(const WindowDefinition& definition, EventSink sink) {
  state_->sink = sink;
  state_->window = std::make_unique<MainWindow>(definition, std::move(sink));
  state_->services.Attach(state_->window.get(), definition);
  // A log-out asks the same question as any other close; Cancel cancels the log-out.
  QObject::connect(state_->app.get(), &QGuiApplication::commitDataRequest,
                   [this](QSessionManager& manager) {
                     if (!state_->window || !manager.allowsInteraction()) return;
                     Event request;
                     request.kind = EventKind::CloseRequested;
                     request.source = state_->window->Name();
                     state_->sink(request);
                     manager.release();
                     if (request.refused) manager.cancel();
                   });
  Event created;
  created.kind = EventKind::Created;
  created.source = definition.name;
  state_->sink(created);
  if (!state_->ending) state_->window->ShowCentred();
}

int QtHost::Run() {
  if (!state_->window) return 0;
  // The loop ends when the main window has closed, however it was closed.
  MainWindow* window = state_->window.get();
  window->SetClosedCallback([] { QCoreApplication::quit(); });
  // A signal during start-up leaves the window unshown: there is no loop to run then.
  if (!state_->ending || window->isVisible()) QApplication::exec();

  Event destroyed;
  destroyed.kind = EventKind::Destroyed;
  destroyed.source = window->Name();
  state_->sink(destroyed);
  // Workers may still be waiting on the window: end them while it exists.
  const bool workersEnded = state_->services.StopAllThreads();
  state_->window.reset();
  if (state_->exitRoutine) state_->exitRoutine();
  // A worker stuck in a call that never returns must not outlive the objects it
  // uses: the process ends here, with the exit routine done.
  if (!workersEnded) std::_Exit(0);
  return 0;
}
