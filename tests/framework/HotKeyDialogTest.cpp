#include <QtTest>

#include "framework/TextCodec.h"
#include "framework/qt/HotKeyDialog.h"

namespace {

// The program's text is GB18030; this file's literals are UTF-8.
const Text kHeld = TextFromUtf8("已被其他程序占用");

std::vector<HotKeyField> Fields() {
  return {{"朗读/继续", "Ctrl+A"}, {"暂停朗读", "Ctrl+Z"}, {"打字", "Ctrl+Q"}, {"结束朗读", ""}};
}

}  // namespace

class HotKeyDialogTest : public QObject {
  Q_OBJECT

 private slots:
  // What a field takes, what it leaves, and how it is cleared.
  void FieldsTakeKeyCombinationsOnly() {
    std::vector<std::pair<int, Text>> checked;
    HotKeyDialog dialog(nullptr, Fields(), [&](int field, const Text& keys) {
      checked.emplace_back(field, keys);
      return Text();
    });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    checked.clear();
    KeyCaptureField* read = dialog.Field(0);
    read->setFocus();

    QTest::keyClick(read, Qt::Key_R, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(read->Keys(), QStringLiteral("Ctrl+Alt+R"));
    QTest::keyClick(read, Qt::Key_X);
    QTest::keyClick(read, Qt::Key_A, Qt::ShiftModifier);
    QTest::keyClick(read, Qt::Key_Control, Qt::ControlModifier);
    QCOMPARE(read->Keys(), QStringLiteral("Ctrl+Alt+R"));  // typing keys are no hot keys
    QTest::keyClick(read, Qt::Key_F5, Qt::MetaModifier);
    QCOMPARE(read->Keys(), QStringLiteral("Meta+F5"));
    QTest::keyClick(read, Qt::Key_F9);
    QCOMPARE(read->Keys(), QStringLiteral("F9"));
    QTest::keyClick(read, Qt::Key_Delete);
    QCOMPARE(read->Keys(), QString());
    QCOMPARE(checked,
             (std::vector<std::pair<int, Text>>{{0, "Ctrl+Alt+R"}, {0, "Meta+F5"}, {0, "F9"}}));

    // A key taken from another field leaves it empty.
    QTest::keyClick(read, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(dialog.Field(2)->Keys(), QString());
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const std::vector<HotKeyField> fields = dialog.Fields();
    QCOMPARE(fields[0].keys, Text("Ctrl+Q"));
    QCOMPARE(fields[1].keys, Text("Ctrl+Z"));
    QCOMPARE(fields[2].keys, Text());
    QCOMPARE(fields[3].label, Text("结束朗读"));
  }

  // A key another program holds is said beside its field at once, also one held when the
  // dialog opens; OK keeps the dialog open until the key is changed or cleared.
  void ARefusedKeyKeepsTheDialogOpen() {
    const auto check = [](int, const Text& keys) {
      return keys == "Ctrl+Z" || keys == "Ctrl+Alt+P" ? kHeld : Text();
    };
    HotKeyDialog dialog(nullptr, Fields(), check);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.Note(1), QStringLiteral("已被其他程序占用"));
    QCOMPARE(dialog.Note(0), QString());
    KeyCaptureField* pause = dialog.Field(1);
    pause->setFocus();
    QTest::keyClick(pause, Qt::Key_P, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(dialog.Note(1), QStringLiteral("已被其他程序占用"));
    dialog.accept();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QTest::keyClick(pause, Qt::Key_Backspace);
    QCOMPARE(dialog.Note(1), QString());
    dialog.accept();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Fields()[1].keys, Text());
  }
};

QTEST_MAIN(HotKeyDialogTest)
#include "HotKeyDialogTest.moc"
