#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <algorithm>

#include "framework/Controls.h"
#include "framework/qt/MessageBox.h"

using namespace Qt::StringLiterals;

namespace {

// Set when a box was still open after the test had answered it.
bool boxIgnoredTheAnswer = false;

// Runs act on the message box once it shows. A box that act leaves open is closed, and
// one that never shows gives up whatever is modal, so that a test fails instead of hanging.
template <typename Act>
void WhenBoxShows(Act act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QDeadlineTimer deadline(10000);
  QObject::connect(timer, &QTimer::timeout, [timer, act, deadline]() mutable {
    QWidget* modal = QApplication::activeModalWidget();
    auto* box = qobject_cast<QMessageBox*>(modal);
    if ((box && box->isVisible()) || deadline.hasExpired()) {
      timer->stop();
      timer->deleteLater();
      if (box) {
        act(box);
        if (box->isVisible()) {
          boxIgnoredTheAnswer = true;
          box->reject();
        }
      } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
      }
    }
  });
  timer->start();
}

QAbstractButton* ButtonWithText(QMessageBox* box, const QString& text) {
  for (QAbstractButton* button : box->buttons())
    if (button->text() == text) return button;
  return nullptr;
}

QStringList SortedButtonTexts(QMessageBox* box) {
  QStringList texts;
  for (QAbstractButton* button : box->buttons()) texts << button->text();
  texts.sort();
  return texts;
}

// How the user leaves the box: a button's text, or one of these.
const QString kEscape = QStringLiteral("<Esc>");
const QString kCloseButton = QStringLiteral("<close>");
const QString kReturn = QStringLiteral("<Return>");

void Answer(QMessageBox* box, const QString& how) {
  if (how == kEscape) {
    QTest::keyClick(box, Qt::Key_Escape);
  } else if (how == kCloseButton) {
    box->close();
  } else if (how == kReturn) {
    QTest::keyClick(box, Qt::Key_Return);
  } else if (QAbstractButton* button = ButtonWithText(box, how)) {
    button->click();
  } else {
    box->reject();  // the button is missing: the answer check fails
  }
}

}  // namespace

class MessageBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void answers_data();
  void answers();
  void defaultButtonFromStyle();
  void iconFromStyle_data();
  void iconFromStyle();
  void boxBlocksTheWholeProgram_data();
  void boxBlocksTheWholeProgram();
  void textIsShownAsWritten();
  void tallTextIsShortenedInTheMiddle();
};

void MessageBoxTest::init() { boxIgnoredTheAnswer = false; }

void MessageBoxTest::cleanup() { QVERIFY2(!boxIgnoredTheAnswer, "the box stayed open"); }

void MessageBoxTest::answers_data() {
  QTest::addColumn<int>("style");
  QTest::addColumn<QStringList>("buttons");
  QTest::addColumn<QString>("how");
  QTest::addColumn<int>("answer");

  const QStringList yesNoCancel{u"是(&Y)"_s, u"否(&N)"_s, u"取消"_s};
  QTest::newRow("yes/no/cancel: yes") << 0x23 << yesNoCancel << u"是(&Y)"_s << 5;
  QTest::newRow("yes/no/cancel: no") << 0x23 << yesNoCancel << u"否(&N)"_s << 6;
  QTest::newRow("yes/no/cancel: cancel") << 0x23 << yesNoCancel << u"取消"_s << 1;
  QTest::newRow("yes/no/cancel: Esc") << 0x23 << yesNoCancel << kEscape << 1;
  QTest::newRow("yes/no/cancel: close button") << 0x23 << yesNoCancel << kCloseButton << 1;

  const QStringList ok{u"确定"_s};
  QTest::newRow("ok: ok") << 0x40 << ok << u"确定"_s << 0;
  QTest::newRow("ok: Esc") << 0x40 << ok << kEscape << 0;

  const QStringList okCancel{u"确定"_s, u"取消"_s};
  QTest::newRow("ok/cancel: ok") << 0x01 << okCancel << u"确定"_s << 0;
  QTest::newRow("ok/cancel: Esc") << 0x01 << okCancel << kEscape << 1;

  const QStringList abortRetryIgnore{u"中止"_s, u"重试"_s, u"忽略"_s};
  QTest::newRow("abort/retry/ignore: abort") << 0x02 << abortRetryIgnore << u"中止"_s << 2;
  QTest::newRow("abort/retry/ignore: retry") << 0x02 << abortRetryIgnore << u"重试"_s << 3;
  QTest::newRow("abort/retry/ignore: ignore") << 0x02 << abortRetryIgnore << u"忽略"_s << 4;
  QTest::newRow("abort/retry/ignore: Esc") << 0x02 << abortRetryIgnore << kEscape << 4;

  const QStringList yesNo{u"是(&Y)"_s, u"否(&N)"_s};
  QTest::newRow("yes/no: yes") << 0x04 << yesNo << u"是(&Y)"_s << 5;
  QTest::newRow("yes/no: Esc") << 0x04 << yesNo << kEscape << 6;
  QTest::newRow("yes/no: close button") << 0x04 << yesNo << kCloseButton << 6;

  const QStringList retryCancel{u"重试"_s, u"取消"_s};
  QTest::newRow("retry/cancel: retry") << 0x35 << retryCancel << u"重试"_s << 3;
  QTest::newRow("retry/cancel: Esc") << 0x35 << retryCancel << kEscape << 1;
}

void MessageBoxTest::answers() {
  QFETCH(int, style);
  QFETCH(QStringList, buttons);
  QFETCH(QString, how);
  QFETCH(int, answer);

  QStringList shown;
  WhenBoxShows([&](QMessageBox* box) {
    shown = SortedButtonTexts(box);
    Answer(box, how);
  });
  const int result = RunMessageBox(nullptr, u"问题"_s, style, u"标题"_s);

  buttons.sort();
  QCOMPARE(shown, buttons);
  QCOMPARE(result, answer);
}

void MessageBoxTest::defaultButtonFromStyle() {
  // 0x100 makes the second button the default, so Return answers No.
  QString defaultText;
  WhenBoxShows([&](QMessageBox* box) {
    if (box->defaultButton()) defaultText = box->defaultButton()->text();
    Answer(box, kReturn);
  });
  QCOMPARE(RunMessageBox(nullptr, u"继续？"_s, 0x123, u"标题"_s), 6);
  QCOMPARE(defaultText, u"否(&N)"_s);

  // Without those bits the first one is: Yes.
  WhenBoxShows([&](QMessageBox* box) { Answer(box, kReturn); });
  QCOMPARE(RunMessageBox(nullptr, u"继续？"_s, 0x23, u"标题"_s), 5);
}

void MessageBoxTest::iconFromStyle_data() {
  QTest::addColumn<int>("style");
  QTest::addColumn<int>("icon");
  QTest::newRow("stop") << 0x10 << int(QMessageBox::Critical);
  QTest::newRow("question") << 0x23 << int(QMessageBox::Question);
  QTest::newRow("exclamation") << 0x31 << int(QMessageBox::Warning);
  QTest::newRow("information") << 0x40 << int(QMessageBox::Information);
  QTest::newRow("none") << 0x03 << int(QMessageBox::NoIcon);
}

void MessageBoxTest::iconFromStyle() {
  QFETCH(int, style);
  QFETCH(int, icon);
  int shown = -1;
  WhenBoxShows([&](QMessageBox* box) {
    shown = box->icon();
    box->reject();
  });
  RunMessageBox(nullptr, u"内容"_s, style, u"标题"_s);
  QCOMPARE(shown, icon);
}

void MessageBoxTest::boxBlocksTheWholeProgram_data() {
  QTest::addColumn<int>("style");
  QTest::addColumn<bool>("withOwner");
  QTest::addColumn<bool>("onTop");
  QTest::newRow("task-modal, no owner") << 0x10 << false << false;
  QTest::newRow("task-modal, owner") << 0x23 << true << false;
  QTest::newRow("system-modal") << 0x1040 << false << true;
}

void MessageBoxTest::boxBlocksTheWholeProgram() {
  QFETCH(int, style);
  QFETCH(bool, withOwner);
  QFETCH(bool, onTop);

  QWidget owner;
  owner.show();
  QPushButton otherWindow(u"别的窗口"_s);  // a window the box does not belong to
  otherWindow.show();
  bool otherWindowClicked = false;
  connect(&otherWindow, &QPushButton::clicked, [&] { otherWindowClicked = true; });

  Qt::WindowModality modality = Qt::NonModal;
  QWidget* parent = &otherWindow;
  QString title;
  bool staysOnTop = false;
  WhenBoxShows([&](QMessageBox* box) {
    modality = box->windowModality();
    parent = box->parentWidget();
    title = box->windowTitle();
    staysOnTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    QTest::mouseClick(otherWindow.windowHandle(), Qt::LeftButton, {}, otherWindow.rect().center());
    box->reject();
  });
  RunMessageBox(withOwner ? &owner : nullptr, u"内容"_s, style, u"错误"_s);

  QCOMPARE(modality, Qt::ApplicationModal);
  QVERIFY(!otherWindowClicked);
  QCOMPARE(parent, withOwner ? &owner : nullptr);
  QCOMPARE(title, u"错误"_s);
  QCOMPARE(staysOnTop, onTop);

  // A click through the window system, which is what a modal box blocks; it reaches the
  // window once the box is gone.
  QTest::mouseClick(otherWindow.windowHandle(), Qt::LeftButton, {}, otherWindow.rect().center());
  QVERIFY(otherWindowClicked);
}

void MessageBoxTest::textIsShownAsWritten() {
  // CR LF is a line break, and angle brackets are no markup.
  QString text;
  Qt::TextFormat format = Qt::AutoText;
  WhenBoxShows([&](QMessageBox* box) {
    text = box->text();
    format = box->textFormat();
    box->reject();
  });
  RunMessageBox(nullptr, u"运行时出错!\r\n\r\n<b>文件</b>"_s, 0x10, u"错误"_s);
  QCOMPARE(text, u"运行时出错!\n\n<b>文件</b>"_s);
  QCOMPARE(format, Qt::PlainText);
}

void MessageBoxTest::tallTextIsShortenedInTheMiddle() {
  // A 60-line title inside the question about changed text, and a path with no spaces.
  QString text = u"文件 "_s;
  for (int line = 1; line <= 60; ++line) text += u"横幅第%1行\r\n"_s.arg(line);
  text += QString(400, u'x') + u" 的文字已经改变。\r\n想保存文件吗?"_s;
  QString shown;
  QRect frame;
  QList<QRect> buttons;
  WhenBoxShows([&](QMessageBox* box) {
    shown = box->text();
    frame = box->frameGeometry();
    for (QAbstractButton* button : box->buttons())
      buttons << QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
    box->reject();
  });
  RunMessageBox(nullptr, text, kMbYesNoCancel | kMbIconQuestion, u"_启动窗口"_s);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  QVERIFY2(screen.contains(frame), qPrintable(u"box %1x%2 on a %3x%4 screen"_s.arg(frame.width())
                                                  .arg(frame.height())
                                                  .arg(screen.width())
                                                  .arg(screen.height())));
  QCOMPARE(buttons.size(), 3);
  for (const QRect& button : buttons) QVERIFY(screen.contains(button));
  QVERIFY(shown.startsWith(u"文件 横幅第1行\n"_s));
  QVERIFY(shown.endsWith(u"想保存文件吗?"_s));
  QVERIFY(shown.contains(u"\n…\n"_s));
  QVERIFY(!shown.contains(u"横幅第30行"_s));
}

QTEST_MAIN(MessageBoxTest)
#include "MessageBoxTest.moc"
