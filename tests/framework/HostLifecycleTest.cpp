// Start-up and exit through the real host: the created event runs while the window
// is hidden, the window is then shown centred, closing it ends the loop, and the
// destroyed event runs before the exit routine.
#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/MainWindowDefinition.h"
#include "framework/qt/QtHost.h"

class HostLifecycleTest : public QObject {
  Q_OBJECT

 private slots:
  void startsHiddenShowsCentredAndEndsInOrder() {
    int argc = 1;
    char name[] = "orvane-notepad";
    char* argv[] = {name, nullptr};
    QtHost host(argc, argv);
    RuntimeServices& services = host.Services();

    std::vector<std::string> steps;
    bool visibleWhenCreated = true;
    host.SetExitRoutine([&] { steps.push_back("exit routine"); });
    host.LoadWindow(MainWindowDefinition(), [&](const Event& event) {
      if (event.kind == EventKind::Created) {
        steps.push_back("created");
        visibleWhenCreated = services.GetProperty(Control::_启动窗口, Property::Visible).AsBool();
      }
      if (event.kind == EventKind::Destroyed) steps.push_back("destroyed");
    });
    QVERIFY(!visibleWhenCreated);
    QVERIFY(services.GetProperty(Control::_启动窗口, Property::Visible).AsBool());

    QWidget* window = QApplication::topLevelWidgets().value(0);
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) window = w;
    QVERIFY(window);
    // With window decorations the client area shrinks so that the outer size stays.
    // The window manager places and frames the window in its own time.
    QTRY_COMPARE_WITH_TIMEOUT(window->frameGeometry().size(), QSize(783, 583), 20000);
    const auto offset = [window] {
      return window->frameGeometry().center() - window->screen()->availableGeometry().center();
    };
    QTRY_VERIFY2_WITH_TIMEOUT(
        offset().manhattanLength() <= 2,
        qPrintable(QString("window centre off by %1,%2").arg(offset().x()).arg(offset().y())),
        20000);

    QTimer::singleShot(50, [&] {
      steps.push_back("close requested");
      services.CloseWindow(Control::_启动窗口);
      steps.push_back("close returned");
    });
    QTimer::singleShot(10000, [] { QApplication::exit(1); });  // never hang
    QCOMPARE(host.Run(), 0);
    const std::vector<std::string> expected = {"created", "close requested", "close returned",
                                               "destroyed", "exit routine"};
    QCOMPARE(steps, expected);
  }
};

QTEST_APPLESS_MAIN(HostLifecycleTest)
#include "HostLifecycleTest.moc"
