#include "framework/qt/QtHost.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QSessionManager>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <future>
#include <mutex>
#include <utility>

#include "framework/platform/FatalError.h"
#include "framework/platform/MemoryPolicy.h"
#include "framework/platform/ProgramLocation.h"
#include "framework/platform/WindowActivation.h"
#include "framework/qt/ControlFonts.h"
#include "framework/qt/FontConfigurationAside.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/MessageBox.h"
#include "framework/qt/QtRuntimeServices.h"
#include "framework/qt/QtText.h"
#include "framework/qt/QtTranslations.h"
#include "framework/qt/SessionBus.h"
#include "framework/qt/TerminationWatch.h"
#include "framework/qt/UiThread.h"
#include "framework/qt/WindowLossWatch.h"

namespace {

// "宋体" and "SimSun" resolve to a Song/Ming-style face that is installed with the
// program's dependencies, whichever of them is present.
void InstallFontSubstitutions() {
  const QStringList songFaces = {"AR PL UMing CN",    "AR PL UMing TW",      "AR PL UMing HK",
                                 "Noto Serif CJK SC", "Source Han Serif SC", "AR PL SungtiL GB"};
  QFont::insertSubstitutions(QStringLiteral("宋体"), songFaces);
  QFont::insertSubstitutions(QStringLiteral("SimSun"), songFaces);
}

void ReportRecoveryCopy(const std::optional<Text>& copy) {
  if (copy && !copy->empty())
    std::fprintf(stderr, "orvane-notepad: unsaved text written to %s\n",
                 ToQString(*copy).toUtf8().constData());
  else if (copy)
    std::fprintf(stderr, "orvane-notepad: unsaved text could not be written to a recovery file\n");
  std::fflush(stderr);
}

bool OnUiThreadNow() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

// The routine that keeps unsaved text when the process ends without the user's say.
std::mutex emergencyMutex;
std::function<std::optional<Text>()> emergencyRoutine;
std::atomic<bool> emergencyRan{false};
std::atomic<bool> loopRunning{false};
QtMessageHandler previousMessageHandler = nullptr;
std::terminate_handler previousTerminate = nullptr;

// Runs once, on the user-interface thread only: elsewhere it could wait for a thread
// that will never answer. The autosave copy covers what it cannot do.
void RunEmergencyRoutine() {
  if (!OnUiThreadNow() || emergencyRan.exchange(true)) return;
  std::function<std::optional<Text>()> routine;
  {
    std::lock_guard lock(emergencyMutex);
    routine = emergencyRoutine;
  }
  if (routine) ReportRecoveryCopy(routine());
}

// The program's folder when the user may write there (a portable copy); for an
// installed copy the documents folder ($XDG_DOCUMENTS_DIR), or home without one.
QString StartFolder() {
  const std::string program = ExecutableDirectory();
  if (::access(program.c_str(), W_OK) == 0) return QString::fromStdString(program);
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

[[noreturn]] void ShowFatalErrorAndExit(const Text& message) {
  OnUiThread([&] {
    RunEmergencyRoutine();
    RunMessageBox(nullptr, ToQString(message), 0x10, QStringLiteral("错误"));
  });
  ::_exit(kFatalExitStatus);
}

// Qt ends the process with exit(1) right after this warning when the X server has gone
// (its xcb back end), and aborts after a fatal message: the text is kept first.
void WatchMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg || message.startsWith(QStringLiteral("The X11 connection broke")))
    RunEmergencyRoutine();
  if (previousMessageHandler) previousMessageHandler(type, context, message);
}

// Any other exit() while the event loop runs (a library giving up) ends the same way.
void ExitDuringLoop() {
  if (loopRunning) RunEmergencyRoutine();
}

void TerminateKeepingText() {
  RunEmergencyRoutine();
  if (previousTerminate) previousTerminate();
  std::abort();
}

}  // namespace

struct QtHost::State {
  std::unique_ptr<QApplication> app;
  QtRuntimeServices services;
  std::unique_ptr<MainWindow> window;
  EventSink sink;
  std::function<void()> exitRoutine;
  bool ending = false;  // a termination signal has closed the window
  std::unique_ptr<SessionService> session;
  bool shown = false;           // requests from outside go to the sink from now on
  std::vector<Event> requests;  // those that came before
  // JoinSession's request: whether the bus is reached (valid while being reached), and
  // the file to hand to a copy that already runs.
  std::future<bool> sessionBus;
  std::string sessionFile;

  bool ClaimSession();

  // A termination signal, or the window destroyed by another program: the unsaved text is
  // kept and the program ends without asking.
  std::function<std::optional<Text>()> terminationRoutine;
  void EndWithoutQuestions() {
    if (ending || !terminationRoutine) return;
    ending = true;
    ReportRecoveryCopy(terminationRoutine());
    // Open dialogs and boxes answer Cancel (or their Esc answer), so that the handlers
    // under them return and the window can close. A box that refuses stays.
    for (int tries = 0; tries < 16; ++tries) {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || !modal->close()) break;
    }
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  }

  void Deliver(const Event& event) {
    if (ending) return;
    if (shown) {
      sink(event);
    } else {
      requests.push_back(event);
    }
  }

  void BringToFront() {
    if (!shown || ending) return;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    // Qt asks with the time of the last event it saw, which another client's focus change
    // since then makes the server ignore; this asks as the user's task bar would.
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 && x11->connection())
      ActivateTopLevelWindow(x11->connection(), static_cast<xcb_window_t>(window->winId()));
  }
};

QtHost::QtHost(int& argc, char** argv) : state_(std::make_unique<State>()) {
  ReturnLargeBlocksToTheSystem();
  LoadFontConfigurationAside();
  state_->app = std::make_unique<QApplication>(argc, argv);
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  QApplication::setQuitOnLastWindowClosed(false);
  InstallFontSubstitutions();
  InstallQtTranslations();
  QApplication::setFont(DefaultControlFont());
  QDir::setCurrent(StartFolder());
  SetFatalErrorHandler(ShowFatalErrorAndExit);
  // Once a process, however many hosts it makes (the tests make several).
  static const bool watching = [] {
    previousMessageHandler = qInstallMessageHandler(WatchMessages);
    previousTerminate = std::set_terminate(TerminateKeepingText);
    return std::atexit(ExitDuringLoop) == 0;
  }();
  (void)watching;
  state_->services.RestoreKeysOfKilledCopies();
}

QtHost::~QtHost() {
  SetFatalErrorHandler(nullptr);
  SetEmergencyRoutine(nullptr);
  state_->window.reset();
}

RuntimeServices& QtHost::Services() { return state_->services; }

void QtHost::SetDesktopIdentity(const std::string& className, const std::string& desktopFileName,
                                const std::string& iconFolder) {
  QCoreApplication::setApplicationName(QString::fromStdString(className));
  QGuiApplication::setDesktopFileName(QString::fromStdString(desktopFileName));
  const QDir icons(QString::fromStdString(iconFolder));
  QIcon icon;
  for (const QString& name : icons.entryList(QDir::Files)) icon.addFile(icons.filePath(name));
  QApplication::setWindowIcon(icon);
}

void QtHost::SetExitRoutine(std::function<void()> routine) {
  state_->exitRoutine = std::move(routine);
}

void QtHost::SetTerminationRoutine(std::function<std::optional<Text>()> routine) {
  state_->terminationRoutine = std::move(routine);
  WatchTerminationSignals(state_->app.get(), [this](int) { state_->EndWithoutQuestions(); });
}

void QtHost::SetEmergencyRoutine(std::function<std::optional<Text>()> routine) {
  std::lock_guard lock(emergencyMutex);
  emergencyRoutine = std::move(routine);
}

void QtHost::JoinSession(const std::string& file, bool separate) {
  if (separate) return;
  state_->sessionFile = file;
  state_->sessionBus = std::async(std::launch::async, SessionBusReachable);
}

bool QtHost::State::ClaimSession() {
  if (!sessionBus.valid()) return true;
  if (!sessionBus.get()) {
    // Said once, so that a user who finds two copies, or an --action that reaches none,
    // knows why; the program itself works as before.
    std::fputs(
        "orvane-notepad: no session bus: this copy runs on its own, and neither a second "
        "start nor --action can reach it.\n",
        stderr);
    return true;
  }
  session = std::make_unique<SessionService>([this](const Event& event) { Deliver(event); },
                                             [this] { BringToFront(); });
  // Twice: the other copy may end between our try and our call.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (session->Claim()) return true;
    QString problem;
    SessionAnswer answer = CallRunningCopy(QStringLiteral("Activate"), nullptr, problem);
    if (answer == SessionAnswer::Done && !sessionFile.empty()) {
      const QByteArray path = QByteArray::fromStdString(sessionFile);
      answer = CallRunningCopy(QStringLiteral("Open"), &path, problem);
    }
    if (answer == SessionAnswer::Done) return false;
    if (answer == SessionAnswer::NoAnswer)
      std::fprintf(stderr, "orvane-notepad: %s; this copy runs on its own.\n",
                   problem.toUtf8().constData());
    if (answer == SessionAnswer::NoAnswer) break;
  }
  session.reset();
  return true;
}

bool QtHost::LoadWindow(const WindowDefinition& definition, EventSink sink) {
  // A handler's exception must not unwind through Qt's event loop.
  state_->sink = [sink = std::move(sink)](const Event& event) {
    RunContained([&] { sink(event); });
  };
  state_->window = std::make_unique<MainWindow>(definition, state_->sink);
  state_->services.Attach(state_->window.get(), definition);
  WatchWindowDestroyedByOthers(state_->window.get(), [state = state_.get()] {
    std::fputs("orvane-notepad: another program destroyed the main window; ending.\n", stderr);
    state->EndWithoutQuestions();
  });
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
  // Only the session's one copy goes on: the created event registers the hot keys.
  if (!state_->ClaimSession()) return false;
  Event created;
  created.kind = EventKind::Created;
  created.source = definition.name;
  state_->sink(created);
  if (!state_->ending) state_->window->ShowCentred();
  state_->shown = true;
  QTimer::singleShot(0, state_->window.get(), [state = state_.get()] {
    for (const Event& request : std::exchange(state->requests, {})) state->Deliver(request);
  });
  return true;
}

int QtHost::Run() {
  if (!state_->window) return 0;
  // The loop ends when the main window has closed, however it was closed.
  MainWindow* window = state_->window.get();
  window->SetClosedCallback([] { QCoreApplication::quit(); });
  // A signal during start-up leaves the window unshown: there is no loop to run then.
  loopRunning = true;
  if (!state_->ending || window->isVisible()) QApplication::exec();
  loopRunning = false;

  Event destroyed;
  destroyed.kind = EventKind::Destroyed;
  destroyed.source = window->Name();
  state_->sink(destroyed);
  // The last file work (the autosave copy removed) is done before anything ends.
  state_->services.FinishBackgroundWork();
  // Workers may still be waiting on the window: end them while it exists.
  const bool workersEnded = state_->services.StopAllThreads();
  state_->services.RestoreKeyboardMap();
  state_->window.reset();
  if (state_->exitRoutine) state_->exitRoutine();
  // A worker stuck in a call that never returns must not outlive the objects it
  // uses: the process ends here, with the exit routine done.
  if (!workersEnded) std::_Exit(0);
  return 0;
}
