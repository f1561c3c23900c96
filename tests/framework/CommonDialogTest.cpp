#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include "framework/qt/CommonDialog.h"
#include "framework/qt/QtTranslations.h"
#include "support/ModalWaits.h"

using namespace Qt::StringLiterals;

namespace {

// Rejects a dialog that stays modal for seconds, such as a question nobody answers, so
// that a test fails instead of hanging.
class ModalGuard {
 public:
  ModalGuard() {
    timer_.setInterval(100);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
  }
  void Start() {
    leftOpen_ = false;
    timer_.start();
  }
  // True when it had to close something since Start().
  bool Stop() {
    timer_.stop();
    return leftOpen_;
  }

 private:
  void Check() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != last_ || !modal) {
      last_ = modal;
      since_.restart();
    } else if (since_.elapsed() > 5000) {
      leftOpen_ = true;
      since_.restart();
      if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
      else
        modal->close();
    }
  }

  QTimer timer_;
  QPointer<QWidget> last_;
  QElapsedTimer since_;
  bool leftOpen_ = false;
};

QLineEdit* NameField(QFileDialog* dialog) {
  return dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
}

// What the confirming button does (accept() is not public on QFileDialog).
void Confirm(QFileDialog* dialog) { QMetaObject::invokeMethod(dialog, "accept"); }

// What the user does: types a name and presses the confirming button.
void TypeAndConfirm(QFileDialog* dialog, const QString& name) {
  NameField(dialog)->setText(name);
  Confirm(dialog);
}

bool MakeFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

const QString kPictures =
    u"所有图片(*.jpg;*.bmp;*.gif)|*.jpg;*.bmp;*.gif|JPEG图片(*.jpg)|*.jpg|位图文件(*.bmp)|*.bmp|"
    u"GIF图片文件(*.gif)|*.gif|"_s;

// A face with a true bold style, other than the one the dialog would start with anyway;
// one that Qt lists once, or one of those it lists per foundry as "Face [foundry]".
QString FaceWithBold(bool perFoundry = false) {
  const QString usual = QApplication::font().family();
  for (const QString& family : QFontDatabase::families()) {
    if (family == usual || family.endsWith(u']') != perFoundry) continue;
    for (const QString& style : QFontDatabase::styles(family))
      if (QFontDatabase::weight(family, style) >= QFont::Bold &&
          !QFontDatabase::italic(family, style))
        return family;
  }
  return {};
}

}  // namespace

class CommonDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void filterPairsBecomeNameFilters_data();
  void filterPairsBecomeNameFilters();
  void incompletePairIsDropped();

  void dialogsAreApplicationModalWithTheirTitle_data();
  void dialogsAreApplicationModalWithTheirTitle();
  void fileDialogSpeaksChineseWithRealMnemonics();
  void openedFileIsKeptForTheNextOpening();
  void cancelChangesNothing();
  void missingFileIsRefusedWhenItMustExist();
  void missingFileCanBeCreatedAfterTheQuestion();
  void saveAppendsTheDefaultExtension_data();
  void saveAppendsTheDefaultExtension();
  void overwriteIsAskedOnlyWhenWanted_data();
  void overwriteIsAskedOnlyWhenWanted();
  void missingFolderIsRefusedWhenThePathMustExist_data();
  void missingFolderIsRefusedWhenThePathMustExist();
  void currentDirectoryFollowsTheChoiceUnlessKept_data();
  void currentDirectoryFollowsTheChoiceUnlessKept();

  void fontChoiceIsStoredAndShownAgain_data();
  void fontChoiceIsStoredAndShownAgain();
  void customColourSurvives();
  void fontDialogKeys_data();
  void fontDialogKeys();
  void helpTypeShowsNothing();

 private:
  QString startDirectory_;
  QTemporaryDir dir_;
  ModalGuard guard_;
};

void CommonDialogTest::initTestCase() {
  // Qt's file dialog remembers its history in the user's settings: keep ours apart.
  QStandardPaths::setTestModeEnabled(true);
  QVERIFY(dir_.isValid());
}

void CommonDialogTest::init() {
  startDirectory_ = QDir::currentPath();
  guard_.Start();
}

void CommonDialogTest::cleanup() {
  WithdrawPendingWaits();
  QDir::setCurrent(startDirectory_);
  QVERIFY2(!guard_.Stop(), "a dialog was left waiting for an answer");
}

void CommonDialogTest::filterPairsBecomeNameFilters_data() {
  QTest::addColumn<QString>("filter");
  QTest::addColumn<int>("initialFilter");
  QTest::addColumn<QStringList>("shown");
  QTest::addColumn<int>("selected");
  QTest::addColumn<QStringList>("patterns");

  const QStringList pictures{u"所有图片(*.jpg;*.bmp;*.gif)"_s, u"JPEG图片(*.jpg)"_s,
                             u"位图文件(*.bmp)"_s, u"GIF图片文件(*.gif)"_s};
  QTest::newRow("several patterns, trailing bar")
      << kPictures << 0 << pictures << 0 << QStringList{u"*.jpg"_s, u"*.bmp"_s, u"*.gif"_s};
  QTest::newRow("third pair") << kPictures << 2 << pictures << 2 << QStringList{u"*.bmp"_s};
  QTest::newRow("negative index") << kPictures << -3 << pictures << 0
                                  << QStringList{u"*.jpg"_s, u"*.bmp"_s, u"*.gif"_s};
  QTest::newRow("index past the last")
      << kPictures << 9 << pictures << 3 << QStringList{u"*.gif"_s};
  QTest::newRow("no trailing bar")
      << u"文本文件(*.txt)|*.txt"_s << 0 << QStringList{u"文本文件(*.txt)"_s} << 0
      << QStringList{u"*.txt"_s};
  QTest::newRow("every file") << u"所有文件(*.*)|*.*"_s << 0 << QStringList{u"所有文件(*.*)"_s} << 0
                              << QStringList{u"*"_s};
  QTest::newRow("blanks around patterns")
      << u"源文件|*.cpp; *.h|"_s << 0 << QStringList{u"源文件"_s} << 0
      << QStringList{u"*.cpp"_s, u"*.h"_s};
}

void CommonDialogTest::filterPairsBecomeNameFilters() {
  QFETCH(QString, filter);
  QFETCH(int, initialFilter);
  QFETCH(QStringList, shown);
  QFETCH(int, selected);
  QFETCH(QStringList, patterns);

  CommonDialogState state;
  state.filter = filter;
  state.initialFilter = initialFilter;
  state.initialDirectory = dir_.path();
  QStringList shownTypes;
  int selectedType = -1;
  QStringList modelPatterns;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    auto* types = dialog->findChild<QComboBox*>(u"fileTypeCombo"_s);
    for (int i = 0; types && i < types->count(); ++i) shownTypes << types->itemText(i);
    selectedType = types ? types->currentIndex() : -1;
    // The patterns the dialog actually lists files by.
    if (auto* model = dialog->findChild<QFileSystemModel*>()) modelPatterns = model->nameFilters();
    dialog->reject();
  });
  QVERIFY(!RunCommonDialog(nullptr, state));

  QCOMPARE(shownTypes, shown);
  QCOMPARE(selectedType, selected);
  QCOMPARE(modelPatterns, patterns);
}

void CommonDialogTest::incompletePairIsDropped() {
  QCOMPARE(QtNameFilters(u"文本|*.txt|说明"_s).size(), 1);
  QCOMPARE(QtNameFilters(u"文本|*.txt|说明|"_s).size(), 2);
  QVERIFY(QtNameFilters(QString()).isEmpty());
}

void CommonDialogTest::dialogsAreApplicationModalWithTheirTitle_data() {
  QTest::addColumn<int>("type");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QString>("shownTitle");
  QTest::newRow("open, usual title") << 0 << QString() << u"打开"_s;
  QTest::newRow("save, usual title") << 1 << QString() << u"另存为"_s;
  QTest::newRow("save, own title") << 1 << u"保存脚本"_s << u"保存脚本"_s;
  QTest::newRow("font, usual title") << 2 << QString() << u"字体"_s;
  QTest::newRow("font, own title") << 2 << u"选择字体"_s << u"选择字体"_s;
}

void CommonDialogTest::dialogsAreApplicationModalWithTheirTitle() {
  QFETCH(int, type);
  QFETCH(QString, title);
  QFETCH(QString, shownTitle);

  QWidget parent;
  parent.show();
  CommonDialogState state;
  state.type = type;
  state.title = title;
  state.initialDirectory = dir_.path();
  Qt::WindowModality modality = Qt::NonModal;
  QString windowTitle;
  WhenModal<QDialog>([&](QDialog* dialog) {
    modality = dialog->windowModality();
    windowTitle = dialog->windowTitle();
    dialog->reject();
  });
  QVERIFY(!RunCommonDialog(&parent, state));
  QCOMPARE(modality, Qt::ApplicationModal);
  QCOMPARE(windowTitle, shownTitle);
}

void CommonDialogTest::fileDialogSpeaksChineseWithRealMnemonics() {
  QVERIFY2(InstallQtTranslations(), "Qt's Chinese translations are not installed");
  CommonDialogState state;
  state.type = 1;
  state.filter = u"文本文件(*.txt)|*.txt"_s;
  state.initialDirectory = dir_.path();
  QStringList literalAmpersands, texts;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    for (QLabel* label : dialog->findChildren<QLabel*>())
      if (label->isVisible() && label->text().contains(u'&') && !label->buddy())
        literalAmpersands << label->text();
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
      if (button->isVisible()) texts << button->text();
    auto* tree = dialog->findChild<QTreeView*>(u"treeView"_s);
    for (int column = 0; tree && column < tree->model()->columnCount(); ++column)
      texts << tree->model()->headerData(column, Qt::Horizontal).toString();
    dialog->reject();
  });
  QVERIFY(!RunCommonDialog(nullptr, state));
  QVERIFY2(literalAmpersands.isEmpty(), qPrintable(literalAmpersands.join(u", "_s)));
  // No English word: Latin letters appear only as a mnemonic in parentheses.
  static const QRegularExpression english(u"[A-Za-z]{2,}"_s);
  for (const QString& text : texts) QVERIFY2(!english.match(text).hasMatch(), qPrintable(text));
  QVERIFY(texts.contains(u"名称"_s));
}

void CommonDialogTest::openedFileIsKeptForTheNextOpening() {
  QTemporaryDir elsewhere;
  const QString path = QDir(dir_.path()).filePath(u"脚本.txt"_s);
  QVERIFY(MakeFile(path));

  CommonDialogState state;
  state.filter = u"文本文件(*.txt)|*.txt"_s;
  state.defaultExtension = u"txt"_s;
  state.initialDirectory = dir_.path();
  WhenModal<QFileDialog>([](QFileDialog* dialog) { TypeAndConfirm(dialog, u"脚本.txt"_s); });
  QVERIFY(RunCommonDialog(nullptr, state));
  QCOMPARE(state.fileName, path);

  // The last choice wins over an initial directory and the current directory elsewhere,
  // as on Windows.
  state.initialDirectory = elsewhere.path();
  QTemporaryDir current;
  QVERIFY(QDir::setCurrent(current.path()));
  QString folder, name, selected;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    folder = dialog->directory().absolutePath();
    name = NameField(dialog)->text();
    selected = dialog->selectedFiles().value(0);
    TypeAndConfirm(dialog, name);  // confirming as it opened gives the same file again
  });
  const CommonDialogState before = state;
  QVERIFY(RunCommonDialog(nullptr, state));
  QCOMPARE(folder, dir_.path());
  QCOMPARE(name, u"脚本.txt"_s);
  QCOMPARE(selected, path);
  QCOMPARE(state, before);
}

void CommonDialogTest::cancelChangesNothing() {
  const QString path = QDir(dir_.path()).filePath(u"a.txt"_s);
  QVERIFY(MakeFile(path));
  QTemporaryDir current;
  QVERIFY(QDir::setCurrent(current.path()));

  for (int type : {0, 1, 2}) {
    CommonDialogState state;
    state.type = type;
    state.fileName = path;
    state.faceName = FaceWithBold();
    state.size = 15;
    state.colour = 0x0000FF;
    const CommonDialogState before = state;
    WhenModal<QDialog>([](QDialog* dialog) {
      if (auto* files = qobject_cast<QFileDialog*>(dialog))
        NameField(files)->setText(u"其他.txt"_s);
      if (auto* fonts = dialog->findChild<QFontDialog*>())
        fonts->setCurrentFont(QFont(QApplication::font().family(), 8));
      Click(dialog, u"取消"_s);
    });
    QVERIFY(!RunCommonDialog(nullptr, state));
    QCOMPARE(state, before);
    QCOMPARE(QDir::currentPath(), current.path());
  }
}

void CommonDialogTest::missingFileIsRefusedWhenItMustExist() {
  CommonDialogState state;
  state.initialDirectory = dir_.path();
  const CommonDialogState before = state;
  QString warning;
  bool stayedOpen = false;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      warning = box->text();
      Click(box, u"确定"_s);
    });
    TypeAndConfirm(dialog, u"不存在.txt"_s);
    stayedOpen = dialog->isVisible();
    dialog->reject();
  });
  QVERIFY(!RunCommonDialog(nullptr, state));
  QVERIFY(warning.contains(u"不存在.txt"_s));
  QVERIFY(stayedOpen);
  QCOMPARE(state, before);
}

void CommonDialogTest::missingFileCanBeCreatedAfterTheQuestion() {
  CommonDialogState state;
  state.initialDirectory = dir_.path();
  state.fileMustExist = false;
  state.createPrompt = true;
  int questions = 0;
  bool stayedOpenAfterNo = false;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      ++questions;
      Click(box, u"否(&N)"_s);
    });
    TypeAndConfirm(dialog, u"新建.txt"_s);
    stayedOpenAfterNo = dialog->isVisible();
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      ++questions;
      Click(box, u"是(&Y)"_s);
    });
    Confirm(dialog);
  });
  QVERIFY(RunCommonDialog(nullptr, state));
  QCOMPARE(questions, 2);
  QVERIFY(stayedOpenAfterNo);
  QCOMPARE(state.fileName, QDir(dir_.path()).filePath(u"新建.txt"_s));

  // Without the prompt a missing name is taken as it is.
  state.createPrompt = false;
  state.fileName.clear();
  WhenModal<QMessageBox>([&](QMessageBox* box) {
    ++questions;
    Click(box, u"是(&Y)"_s);
  });
  WhenModal<QFileDialog>([](QFileDialog* dialog) { TypeAndConfirm(dialog, u"另一个.txt"_s); });
  QVERIFY(RunCommonDialog(nullptr, state));
  QCOMPARE(questions, 2);
  QCOMPARE(state.fileName, QDir(dir_.path()).filePath(u"另一个.txt"_s));
}

void CommonDialogTest::saveAppendsTheDefaultExtension_data() {
  QTest::addColumn<QString>("folderTemplate");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("saved");
  const QString plain = QDir::tempPath() + u"/dialogs-XXXXXX"_s;
  const QString dotted = QDir::tempPath() + u"/dialogs.test-XXXXXX"_s;
  QTest::newRow("name without extension") << plain << u"笔记"_s << u"笔记.txt"_s;
  QTest::newRow("name with its own") << plain << u"笔记.md"_s << u"笔记.md"_s;
  QTest::newRow("dot in the folder's name") << dotted << u"笔记"_s << u"笔记.txt"_s;
}

void CommonDialogTest::saveAppendsTheDefaultExtension() {
  QFETCH(QString, folderTemplate);
  QFETCH(QString, typed);
  QFETCH(QString, saved);
  QTemporaryDir folder(folderTemplate);
  QVERIFY(folder.isValid());

  CommonDialogState state;
  state.type = 1;
  state.filter = u"文本文件(*.txt)|*.txt"_s;
  state.defaultExtension = u"txt"_s;
  state.initialDirectory = folder.path();
  WhenModal<QFileDialog>([&](QFileDialog* dialog) { TypeAndConfirm(dialog, typed); });
  QVERIFY(RunCommonDialog(nullptr, state));
  QCOMPARE(state.fileName, QDir(folder.path()).filePath(saved));
}

void CommonDialogTest::overwriteIsAskedOnlyWhenWanted_data() {
  QTest::addColumn<bool>("overwritePrompt");
  QTest::newRow("asked") << true;
  QTest::newRow("not asked") << false;
}

void CommonDialogTest::overwriteIsAskedOnlyWhenWanted() {
  QFETCH(bool, overwritePrompt);
  const QString path = QDir(dir_.path()).filePath(u"已有.txt"_s);
  QVERIFY(MakeFile(path));

  CommonDialogState state;
  state.type = 1;
  state.defaultExtension = u"txt"_s;
  state.initialDirectory = dir_.path();
  state.overwritePrompt = overwritePrompt;
  int questions = 0;
  bool stayedOpenAfterNo = false;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    if (overwritePrompt) {
      WhenModal<QMessageBox>([&](QMessageBox* box) {
        ++questions;
        Click(box, u"否(&N)"_s);
      });
      TypeAndConfirm(dialog, u"已有"_s);
      stayedOpenAfterNo = dialog->isVisible();
    }
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      ++questions;
      Click(box, u"是(&Y)"_s);
    });
    TypeAndConfirm(dialog, u"已有"_s);
  });
  QVERIFY(RunCommonDialog(nullptr, state));
  QCOMPARE(questions, overwritePrompt ? 2 : 0);
  QCOMPARE(stayedOpenAfterNo, overwritePrompt);
  QCOMPARE(state.fileName, path);
}

void CommonDialogTest::missingFolderIsRefusedWhenThePathMustExist_data() {
  QTest::addColumn<bool>("pathMustExist");
  QTest::newRow("must exist") << true;
  QTest::newRow("need not exist") << false;
}

void CommonDialogTest::missingFolderIsRefusedWhenThePathMustExist() {
  QFETCH(bool, pathMustExist);
  CommonDialogState state;
  state.type = 1;
  state.initialDirectory = dir_.path();
  state.pathMustExist = pathMustExist;
  const CommonDialogState before = state;
  QString warning;
  WhenModal<QMessageBox>([&](QMessageBox* box) {
    warning = box->text();
    Click(box, u"确定"_s);
  });
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    TypeAndConfirm(dialog, u"没有的文件夹/稿.txt"_s);
    if (dialog->isVisible()) dialog->reject();
  });
  const bool confirmed = RunCommonDialog(nullptr, state);

  QCOMPARE(confirmed, !pathMustExist);
  QCOMPARE(warning.isEmpty(), !pathMustExist);
  if (pathMustExist)
    QCOMPARE(state, before);
  else
    QCOMPARE(state.fileName, dir_.path() + u"/没有的文件夹/稿.txt"_s);
}

void CommonDialogTest::currentDirectoryFollowsTheChoiceUnlessKept_data() {
  QTest::addColumn<bool>("keepDirectory");
  QTest::newRow("follows") << false;
  QTest::newRow("kept") << true;
}

void CommonDialogTest::currentDirectoryFollowsTheChoiceUnlessKept() {
  QFETCH(bool, keepDirectory);
  QTemporaryDir current;
  QVERIFY(QDir::setCurrent(current.path()));
  QVERIFY(MakeFile(QDir(dir_.path()).filePath(u"b.txt"_s)));

  CommonDialogState state;
  state.initialDirectory = dir_.path();
  state.keepDirectory = keepDirectory;
  WhenModal<QFileDialog>([](QFileDialog* dialog) { TypeAndConfirm(dialog, u"b.txt"_s); });
  QVERIFY(RunCommonDialog(nullptr, state));
  QCOMPARE(QDir::currentPath(), keepDirectory ? current.path() : dir_.path());
}

void CommonDialogTest::fontChoiceIsStoredAndShownAgain_data() {
  QTest::addColumn<bool>("perFoundry");
  QTest::newRow("face listed once") << false;
  QTest::newRow("face listed per foundry") << true;
}

void CommonDialogTest::fontChoiceIsStoredAndShownAgain() {
  QFETCH(bool, perFoundry);
  const QString listed = FaceWithBold(perFoundry);
  if (listed.isEmpty()) QSKIP("no such face with a bold style is installed");
  // The stored name is the face's, without Qt's foundry.
  const QString face = listed.section(u" ["_s, 0, 0);

  CommonDialogState state;
  state.type = 2;
  WhenModal<QDialog>([&](QDialog* dialog) {
    QFont chosen(listed, 12, QFont::Bold);
    chosen.setStrikeOut(true);
    dialog->findChild<QFontDialog*>()->setCurrentFont(chosen);
    auto* colours = dialog->findChild<QComboBox*>(u"colourCombo"_s);
    colours->setCurrentIndex(colours->findText(u"红色"_s));
    Click(dialog, u"确定"_s);
  });
  QVERIFY(RunCommonDialog(nullptr, state));
  QCOMPARE(state.faceName, face);
  QCOMPARE(state.size, 12);
  QVERIFY(state.bold);
  QVERIFY(!state.italic);
  QVERIFY(state.strikeOut);
  QVERIFY(!state.underline);
  QCOMPARE(state.colour, 0x0000FFu);

  // Reopened, the dialog shows the same choice, and OK keeps it.
  QFont shown;
  QString colourShown;
  QList<bool> effectsChecked;
  WhenModal<QDialog>([&](QDialog* dialog) {
    shown = dialog->findChild<QFontDialog*>()->currentFont();
    colourShown = dialog->findChild<QComboBox*>(u"colourCombo"_s)->currentText();
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>()) effectsChecked << box->isChecked();
    Click(dialog, u"确定"_s);
  });
  const CommonDialogState before = state;
  QVERIFY(RunCommonDialog(nullptr, state));
  QCOMPARE(shown.family().section(u" ["_s, 0, 0), face);
  QCOMPARE(shown.pointSize(), 12);
  QVERIFY(shown.weight() >= QFont::Bold);
  QVERIFY(shown.strikeOut());
  QVERIFY(!shown.underline());
  QCOMPARE(colourShown, u"红色"_s);
  QCOMPARE(effectsChecked.count(true), 1);  // strike-out, not underline
  QCOMPARE(state, before);
}

void CommonDialogTest::customColourSurvives() {
  CommonDialogState state;
  state.type = 2;
  state.colour = 0x00123456;
  state.underline = true;
  WhenModal<QDialog>([](QDialog* dialog) { Click(dialog, u"确定"_s); });
  QVERIFY(RunCommonDialog(nullptr, state));
  QCOMPARE(state.colour, 0x00123456u);
  QVERIFY(state.underline);
  QVERIFY(!state.strikeOut);
}

void CommonDialogTest::fontDialogKeys_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<bool>("confirmed");
  QTest::newRow("Return confirms") << int(Qt::Key_Return) << true;
  QTest::newRow("Esc cancels") << int(Qt::Key_Escape) << false;
}

void CommonDialogTest::fontDialogKeys() {
  // The keys reach the face list first, inside Qt's embedded dialog.
  QFETCH(int, key);
  QFETCH(bool, confirmed);
  CommonDialogState state;
  state.type = 2;
  state.colour = 0x008000;
  bool stillOpen = true;
  WhenModal<QDialog>([&](QDialog* dialog) {
    auto* fonts = dialog->findChild<QFontDialog*>();
    dialog->findChild<QComboBox*>(u"colourCombo"_s)->setCurrentIndex(0);  // black
    QWidget* list = fonts;  // the face list, the first visible list
    for (QAbstractItemView* view : fonts->findChildren<QAbstractItemView*>()) {
      if (view->isVisible()) {
        list = view;
        break;
      }
    }
    QTest::keyClick(list, Qt::Key(key));
    stillOpen = dialog->isVisible();
    if (stillOpen) dialog->reject();
  });
  QCOMPARE(RunCommonDialog(nullptr, state), confirmed);
  QVERIFY(!stillOpen);
  QCOMPARE(state.colour, confirmed ? 0u : 0x008000u);
}

void CommonDialogTest::helpTypeShowsNothing() {
  CommonDialogState state;
  state.type = 3;
  const CommonDialogState before = state;
  QVERIFY(!RunCommonDialog(nullptr, state));
  QCOMPARE(state, before);
}

QTEST_MAIN(CommonDialogTest)
#include "CommonDialogTest.moc"
