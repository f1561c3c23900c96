// The Qt runtime services on the real main window, offscreen.
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "app/MainWindowDefinition.h"
#include "framework/TextCodec.h"
#include "framework/qt/BalloonTip.h"
#include "framework/qt/ControlFonts.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/QtRuntimeServices.h"
#include "framework/qt/SpinButtons.h"
#include "framework/qt/TextEditBox.h"
#include "support/ModalWaits.h"

namespace {
Text G(const char* utf8) { return TextFromUtf8(utf8); }
}  // namespace

class RuntimeServicesTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<MainWindow> window;
  QtRuntimeServices qtServices;
  RuntimeServices& services = qtServices;  // the logic's view, with its default arguments
  std::vector<Event> events;

  TextEditBox* Editor() {
    return qobject_cast<TextEditBox*>(window->ControlWidget(Control::编辑框1));
  }

 private slots:
  void init() {
    events.clear();
    window = std::make_unique<MainWindow>(MainWindowDefinition(),
                                          [this](const Event& e) { events.push_back(e); });
    qtServices.Attach(window.get(), MainWindowDefinition());
  }
  void cleanup() { window.reset(); }

  void editorContentRoundTripsEveryByteSequenceOfAScript() {
    // CR LF, a bare LF, a bare CR, GBK text, and characters GBK lacks.
    const Text script = G("第一行\r\n第二行\n半行\r尾😀𠀀 ｆｕｌｌ★\t") + Text("\xA1\xA1", 2);
    services.SetProperty(Control::编辑框1, Property::Content, script);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), script);
    QCOMPARE(Editor()->document()->blockCount(), 2);  // only CR LF starts a new line
  }

  // Other programs read a stray byte as U+FFFD; pasted back into the editor it is the
  // byte again.
  void copyGivesReadableTextAndPastingItBackKeepsEveryByte() {
    const Text script = Text("a\xFF", 2) + G("中\n文");
    services.SetProperty(Control::编辑框1, Property::Content, script);
    Editor()->selectAll();
    Editor()->copy();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("a\uFFFD中\n文"));
    QTextCursor end = Editor()->textCursor();
    end.movePosition(QTextCursor::End);
    Editor()->setTextCursor(end);
    Editor()->paste();
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), script + script);
  }

  void settingContentClearsTheChangedMarkAndEditsSetIt() {
    services.SetProperty(Control::编辑框1, Property::Content, Text("abc"));
    QCOMPARE(services.SendControlMessage(Control::编辑框1, EM_GETMODIFY, 0, 0), 0);
    Editor()->setFocus();
    QTest::keyClicks(Editor(), "xy");
    QVERIFY(services.SendControlMessage(Control::编辑框1, EM_GETMODIFY, 0, 0) != 0);
    services.SendControlMessage(Control::编辑框1, EM_SETMODIFY, 0, 0);
    QCOMPARE(services.SendControlMessage(Control::编辑框1, EM_GETMODIFY, 0, 0), 0);
  }

  void theReadingMarkCoversTheSentenceAndLeavesTextUndoAndChangedMarkAlone() {
    // Byte 17 starts "第二句。" (8 bytes); in the editor CR LF is one character and
    // the emoji two.
    const Text script = G("abc\r\n第一句。😀第二句。");
    services.SetProperty(Control::编辑框1, Property::Content, script);
    QTextCursor end = Editor()->textCursor();
    end.movePosition(QTextCursor::End);
    Editor()->setTextCursor(end);
    QTest::keyClicks(Editor(), "x");
    services.MarkText(Control::编辑框1, 17, 8);
    const auto marks = Editor()->extraSelections();
    QCOMPARE(marks.size(), 1);
    QCOMPARE(marks[0].cursor.selectedText(), QStringLiteral("第二句。"));
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), script + "x");
    QVERIFY(services.SendControlMessage(Control::编辑框1, EM_GETMODIFY, 0, 0) != 0);
    services.SendControlMessage(Control::编辑框1, EM_UNDO, 0, 0);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), script);
    services.MarkText(Control::编辑框1, 0, 0);
    QVERIFY(Editor()->extraSelections().isEmpty());
  }

  void aNewMarkOutOfViewIsScrolledIntoItLeavingCaretSelectionAndUndoAlone() {
    Text script;
    for (int i = 0; i < 200; ++i) script += G("第") + std::to_string(i) + G("句。\r\n");
    services.SetProperty(Control::编辑框1, Property::Content, script);
    window->show();
    TextEditBox* edit = Editor();
    edit->SelectCharacters(2, 5);
    QScrollBar* bar = edit->verticalScrollBar();
    QCOMPARE(bar->value(), 0);
    const auto mark = [&](int line) {
      const Text sentence = G("第") + std::to_string(line) + G("句。");
      services.MarkText(Control::编辑框1, static_cast<int>(script.find(sentence)),
                        static_cast<int>(sentence.size()));
    };
    mark(150);
    QCOMPARE(bar->value(), 149);  // with the line before it
    QCOMPARE(edit->textCursor().selectionStart(), 2);
    QCOMPARE(edit->textCursor().selectionEnd(), 5);
    QVERIFY(!edit->document()->isUndoAvailable());
    QCOMPARE(services.SendControlMessage(Control::编辑框1, EM_GETMODIFY, 0, 0), 0);
    // The user scrolls elsewhere: the same sentence marked again leaves the view there,
    // a sentence in view too; the next one out of view brings it back.
    bar->setValue(0);
    mark(150);
    QCOMPARE(bar->value(), 0);
    mark(3);
    QCOMPARE(bar->value(), 0);
    mark(151);
    QCOMPARE(bar->value(), 150);
  }

  void undoTakesBackTheLastEditAndASecondUndoTakesBackTheUndo() {
    services.SetProperty(Control::编辑框1, Property::Content, Text("abc"));
    QTextCursor end = Editor()->textCursor();
    end.movePosition(QTextCursor::End);
    Editor()->setTextCursor(end);
    QTest::keyClicks(Editor(), "de");
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), Text("abcde"));
    services.SendControlMessage(Control::编辑框1, EM_UNDO, 0, 0);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), Text("abc"));
    services.SendControlMessage(Control::编辑框1, EM_UNDO, 0, 0);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), Text("abcde"));
  }

  void appendedTextCannotBeUndoneAndJoinsCrWithLf() {
    services.SetProperty(Control::编辑框1, Property::Content, Text());
    for (const char* piece : {"A", "\r", "\n", "B"}) services.AppendText(Control::编辑框1, {piece});
    services.AppendText(Control::编辑框1, {G("中"), G("文")});
    const Text typed = Text("A\r\nB") + G("中文");
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), typed);
    QCOMPARE(Editor()->document()->blockCount(), 2);  // CR then LF make one line break
    QVERIFY(services.SendControlMessage(Control::编辑框1, EM_GETMODIFY, 0, 0) != 0);
    services.SendControlMessage(Control::编辑框1, EM_UNDO, 0, 0);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), typed);
    QCOMPARE(Editor()->textCursor().position(), Editor()->document()->characterCount() - 1);
  }

  void fontSizeIsPointsOutsideAndACharacterHeightInside() {
    const int dpi = Editor()->logicalDpiY();
    services.SetProperty(Control::编辑框1, Property::Font, 12, FontElement::Size);
    QCOMPARE(FontOf(Editor()).height, -(12 * dpi + 36) / 72);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Font, FontElement::Size).AsInt(), 12);
    // The design's 20-pixel character height reads back as points.
    init();
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Font, FontElement::Size).AsInt(),
             (20 * 72 + dpi / 2) / dpi);
    services.SetProperty(Control::编辑框1, Property::Font, true, FontElement::Bold);
    QVERIFY(Editor()->font().bold());
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Font, FontElement::Bold),
             Value(true));
  }

  void faceNameFallsBackToSongForEmptyOrOverlongNames() {
    const Text song = G("宋体");
    services.SetProperty(Control::编辑框1, Property::Font, Text("DejaVu Sans"),
                         FontElement::FaceName);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Font, FontElement::FaceName).AsText(),
             Text("DejaVu Sans"));
    services.SetProperty(Control::编辑框1, Property::Font, Text(), FontElement::FaceName);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Font, FontElement::FaceName).AsText(),
             song);
    const Text exactly31(31, 'x');
    services.SetProperty(Control::编辑框1, Property::Font, exactly31, FontElement::FaceName);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Font, FontElement::FaceName).AsText(),
             exactly31);
    services.SetProperty(Control::编辑框1, Property::Font, Text(32, 'x'), FontElement::FaceName);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Font, FontElement::FaceName).AsText(),
             song);
  }

  void angleIsKeptWithinAFullTurn() {
    services.SetProperty(Control::编辑框1, Property::Font, 3700, FontElement::Angle);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Font, FontElement::Angle).AsInt(),
             100);
    services.SetProperty(Control::编辑框1, Property::Font, -10, FontElement::Angle);
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Font, FontElement::Angle).AsInt(),
             3590);
  }

  void songResolvesToAnInstalledChineseFace() {
    QFont song(QStringLiteral("宋体"));
    song.setPixelSize(20);
    const QFontMetrics metrics(song);
    QVERIFY2(metrics.inFontUcs4(U'汉'), qPrintable(QFontInfo(song).family()));
  }

  void designValuesAndHiddenControlsReadBack() {
    QCOMPARE(services.GetProperty(Control::按钮1, Property::Disabled), Value(true));
    QCOMPARE(services.GetProperty(Control::按钮10, Property::Disabled), Value(false));
    QCOMPARE(services.GetProperty(Control::标签1, Property::Visible), Value(false));
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Visible), Value(true));
    QCOMPARE(services.GetProperty(Control::编辑框3, Property::Content).AsText(), Text("7"));
    QCOMPARE(services.GetProperty(Control::编辑框2, Property::TextColour).AsColour(),
             Rgb(0, 136, 255));
    QCOMPARE(services.GetProperty(Control::按钮13, Property::Caption).AsText(), G("上移"));
    services.SetProperty(Control::编辑框1, Property::Top, 23);
    services.SetProperty(Control::编辑框1, Property::Height, 553);
    QCOMPARE(window->ControlWidget(Control::编辑框1)->geometry(), QRect(1, 23, 773, 553));
  }

  void commonDialogsKeepTheirPropertiesAndClampTheirType() {
    QCOMPARE(services.GetProperty(Control::通用对话框, Property::Filter).AsText(),
             G("文本文件(*.txt)|*.txt"));
    QCOMPARE(services.GetProperty(Control::通用对话框1, Property::DialogType).AsInt(), 2);
    QCOMPARE(services.GetProperty(Control::通用对话框, Property::FileMustExist), Value(true));
    services.SetProperty(Control::通用对话框, Property::FileName, G("/tmp/脚本.txt"));
    QCOMPARE(services.GetProperty(Control::通用对话框, Property::FileName).AsText(),
             G("/tmp/脚本.txt"));
    services.SetProperty(Control::通用对话框2, Property::DialogType, -4);
    QCOMPARE(services.GetProperty(Control::通用对话框2, Property::DialogType).AsInt(), 0);
    services.SetProperty(Control::通用对话框2, Property::DialogType, 9);
    QCOMPARE(services.GetProperty(Control::通用对话框2, Property::DialogType).AsInt(), 3);
  }

  void speedBoxSpinButtonsStepWithinOneToTen() {
    auto* speed = qobject_cast<QLineEdit*>(window->ControlWidget(Control::编辑框3));
    auto* spin = window->findChild<SpinButtons*>();
    QVERIFY(speed && spin);
    for (int i = 0; i < 5; ++i) spin->Step(+1);
    QCOMPARE(speed->text(), QString("10"));
    speed->setText("abc");  // free text stays until the buttons are used
    spin->Step(-1);
    QCOMPARE(speed->text(), QString("9"));
    speed->setText("1");
    spin->Step(-1);
    QCOMPARE(speed->text(), QString("1"));
  }

  void wholeFileOperationsReportFailure() {
    QTemporaryDir scratch;
    const Text folder = TextFromUtf8(scratch.path().toStdString());
    const Text path = folder + G("/脚本.txt");
    QVERIFY(services.WriteFileBytes(path, {ByteBuffer{'a', 0, 'b'}, ByteBuffer{'c'}}));
    QCOMPARE(services.ReadFileBytes(path), (ByteBuffer{'a', 0, 'b', 'c'}));
    QVERIFY(services.FileExists(path));
    QVERIFY(!services.WriteFileBytes(Text(), {ByteBuffer{'a'}}));
    QVERIFY(!services.WriteFileBytes(folder, {ByteBuffer{'a'}}));  // a folder
    QVERIFY(!services.WriteFileBytes(folder + "/missing/x.txt", {ByteBuffer{'a'}}));
    QVERIFY(!services.WriteFileBytes("/dev/full", {ByteBuffer(100, 'a')}));
    QVERIFY(services.ReadFileBytes(folder + "/none.txt").empty());
    QVERIFY(services.ReadFileBytes(folder).empty());
  }

  void controlOperationsFromAWorkerRunOnTheUserInterfaceThread() {
    Text seen;
    std::atomic<bool> done = false;
    std::thread worker([&] {
      services.SetProperty(Control::按钮10, Property::Caption, G("继续"));
      seen = services.GetProperty(Control::按钮10, Property::Caption).AsText();
      services.AppendText(Control::编辑框1, {Text("x")});
      done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 5000);
    worker.join();
    QCOMPARE(seen, G("继续"));
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), Text("x"));
  }

  // Work handed to the user-interface thread that throws is skipped, said once per kind
  // of exception on stderr, and the program goes on (a throw there would end it).
  void nothingThrownOnTheUserInterfaceThreadEndsTheProgramAndEachKindIsToldOnce() {
    QTemporaryFile log;
    QVERIFY(log.open());
    std::fflush(stderr);
    const int savedStderr = ::dup(2);
    ::dup2(log.handle(), 2);
    std::atomic<bool> done = false;
    std::thread worker([&] {
      const Text empty;
      for (int i = 0; i < 2; ++i) services.RunOnUiThread([&] { (void)empty.compare(32, 4, "x"); });
      services.RunOnUiThread([] { throw std::runtime_error("from a worker"); });
      services.RunOnUiThread([] { throw 42; });
      services.SetProperty(Control::按钮10, Property::Caption, G("继续"));
      done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 5000);
    worker.join();
    services.RunOnUiThread([] { throw std::runtime_error("on the thread itself"); });
    std::fflush(stderr);
    ::dup2(savedStderr, 2);
    ::close(savedStderr);

    QVERIFY(log.seek(0));
    const QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].contains("std::out_of_range: basic_string::compare"), qPrintable(lines[0]));
    QVERIFY2(lines[1].contains("std::runtime_error: from a worker"), qPrintable(lines[1]));
    QVERIFY2(lines[2].endsWith(": int"), qPrintable(lines[2]));
    QCOMPARE(services.GetProperty(Control::按钮10, Property::Caption).AsText(), G("继续"));
  }

  void flatStyleFramesControlsInTheSchemeColour() {
    window->show();
    QVERIFY(services.ApplyFlatStyle(1));
    const QImage enabled = window->ControlWidget(Control::按钮13)->grab().toImage();
    QCOMPARE(QColor(enabled.pixel(0, 15)), QColor(123, 158, 189));
    QCOMPARE(QColor(enabled.pixel(1, 15)), window->palette().color(QPalette::Base));
    const QImage disabled = window->ControlWidget(Control::按钮11)->grab().toImage();
    const QColor face = window->palette().color(QPalette::Button);
    QCOMPARE(QColor(disabled.pixel(0, 15)),
             QColor(face.red() - 32, face.green() - 32, face.blue() - 32));
    const QImage editor = window->ControlWidget(Control::编辑框1)->grab().toImage();
    QCOMPARE(QColor(editor.pixel(0, 100)), QColor(123, 158, 189));
    QVERIFY(services.ApplyFlatStyle(3));
    QCOMPARE(QColor(window->ControlWidget(Control::按钮13)->grab().toImage().pixel(0, 15)),
             QColor(198, 197, 215));
    QVERIFY(!services.ApplyFlatStyle(0));
    QVERIFY(QColor(window->ControlWidget(Control::按钮13)->grab().toImage().pixel(0, 15)) !=
            QColor(198, 197, 215));
  }

  // Buttons too leave the focus where it is when clicked.
  void enterMovesTheFocusExceptInMultiLineBoxesAndEscDoesNothing() {
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto* speed = window->ControlWidget(Control::编辑框3);
    speed->setFocus();
    QVERIFY(speed->hasFocus());
    QTest::keyClick(speed, Qt::Key_Return);
    QVERIFY(!speed->hasFocus());
    services.SetProperty(Control::编辑框1, Property::Content, Text("a"));
    Editor()->setFocus();
    Editor()->moveCursor(QTextCursor::End);
    QTest::keyClick(Editor(), Qt::Key_Return);
    QVERIFY(Editor()->hasFocus());
    QCOMPARE(services.GetProperty(Control::编辑框1, Property::Content).AsText(), Text("a\r\n"));
    QTest::mouseClick(window->ControlWidget(Control::按钮6), Qt::LeftButton);
    QVERIFY(Editor()->hasFocus());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QVERIFY(window->isVisible());
  }

  // The whole tip stands on one line: nothing of it is cut or wrapped away.
  void aMessageWithACheckBoxAnswersWhetherItWasTicked() {
    QString shown;
    for (const bool tick : {true, false}) {
      WhenModal<QMessageBox>([&shown, tick](QMessageBox* box) {
        shown = box->text() + u'|' + box->windowTitle() + u'|' + box->checkBox()->text();
        if (tick) box->checkBox()->click();
        Click(box, QStringLiteral("确定"));
      });
      QCOMPARE(services.ShowMessageWithCheckBox(G("第一行\r\n第二行"), G("热键"), G("不再提示")),
               tick);
      QCOMPARE(shown, QStringLiteral("第一行\n第二行|热键|不再提示"));
    }
    WithdrawPendingWaits();
  }

  void balloonShowsItsWholeTextNextToThePoint() {
    QVERIFY(services.ShowBalloon(Control::气球提示框1, 300, 200, G("热键：CTRL+Z"), -1, Text()));
    BalloonTip* balloon = window->Balloon();
    QVERIFY(balloon->isVisible());
    QVERIFY(std::abs(balloon->x() - 300) < 40 && std::abs(balloon->y() - 200) <= 2);
    const QImage picture = balloon->grab().toImage();
    const auto inkInColumns = [&](int from, int to) {
      int ink = 0;
      for (int x = from; x < to; ++x)
        for (int y = 14; y < picture.height() - 2; ++y)
          if (qGray(picture.pixel(x, y)) < 100) ++ink;
      return ink;
    };
    const int width = picture.width();
    QVERIFY2(inkInColumns(width * 2 / 3, width - 6) > 10, "the end of the text is drawn");
    QVERIFY(picture.height() < 60);  // one line
  }

  void eventsOfTheControlsReachTheSink() {
    window->show();
    auto* clear = window->ControlWidget(Control::按钮9);
    QTest::mouseClick(clear, Qt::LeftButton);
    QTest::mouseMove(window->ControlWidget(Control::透明标签1), QPoint(5, 10));
    auto* banner = qobject_cast<TextEditBox*>(window->ControlWidget(Control::编辑框2));
    banner->setFocus();
    QTest::keyClicks(banner, "z");
    auto has = [&](EventKind kind, Control source) {
      return std::any_of(events.begin(), events.end(),
                         [&](const Event& e) { return e.kind == kind && e.source == source; });
    };
    QVERIFY(has(EventKind::Clicked, Control::按钮9));
    QVERIFY(has(EventKind::MouseMoved, Control::透明标签1));
    QVERIFY(has(EventKind::ContentChanged, Control::编辑框2));
  }
};

QTEST_MAIN(RuntimeServicesTest)
#include "RuntimeServicesTest.moc"
