// Script files, the editor's font and the logo picture through the real services and the
// real main window, offscreen, on real files.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGroupBox>
#include <QImageWriter>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/EventTable.h"
#include "app/MainWindowDefinition.h"
#include "app/Program.h"
#include "document/DocumentFiles.h"
#include "document/EditorAppearance.h"
#include "framework/TextCodec.h"
#include "framework/qt/ControlFonts.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/QtRuntimeServices.h"
#include "framework/qt/TextEditBox.h"
#include "framework/qt/WindowTitle.h"
#include "support/ModalWaits.h"

using namespace Qt::StringLiterals;

namespace {

Text G(const QString& text) { return TextFromUtf8(text.toStdString()); }
Text NativeText(const QString& path) { return TextFromUtf8(path.toStdString()); }

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Gbk(const QString& text) {
  const Text bytes = G(text);
  return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

QByteArray WithMark(const char* mark, const QByteArray& body) { return QByteArray(mark) + body; }

QByteArray Utf16(const QString& text, bool bigEndian) {
  QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
  for (QChar c : text) {
    const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
    bytes.append(bigEndian ? high : low);
    bytes.append(bigEndian ? low : high);
  }
  return bytes;
}

// What the user does in a file dialog: types the full path and confirms.
void ChooseInFileDialog(const QString& path) {
  WhenModal<QFileDialog>([path](QFileDialog* dialog) {
    // Typed with the focus in the name field, so that the name replaces the file the
    // dialog showed selected from the last opening.
    auto* name = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
    QApplication::setActiveWindow(dialog);
    name->setFocus();
    name->setText(path);
    QMetaObject::invokeMethod(dialog, "accept");
  });
}

struct BoxSeen {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString defaultButton;
};

// Notes the next message box and answers it with the button of that label.
void AnswerMessageBox(BoxSeen& seen, const QString& button) {
  WhenModal<QMessageBox>([&seen, button](QMessageBox* box) {
    seen.text = box->text();
    seen.caption = box->windowTitle();
    seen.icon = box->icon();
    seen.defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
    Click(box, button);
  });
}

// A face with a true bold style, other than the application's own.
QString FaceWithBold() {
  const QString usual = QApplication::font().family();
  for (const QString& family : QFontDatabase::families()) {
    if (family == usual || family.endsWith(u']')) continue;
    for (const QString& style : QFontDatabase::styles(family))
      if (QFontDatabase::weight(family, style) >= QFont::Bold &&
          !QFontDatabase::italic(family, style))
        return family;
  }
  return {};
}

// A small tmpfs of 8 KiB in a temporary folder: root writes through permission bits, but
// not past the end of a device or onto a read-only one.
class TinyDevice {
 public:
  TinyDevice() {
    mounted_ = QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=8k"_s,
                                              u"tmpfs"_s, folder_.path()}) == 0;
  }
  ~TinyDevice() {
    if (mounted_) QProcess::execute(u"umount"_s, {folder_.path()});
  }
  bool Mounted() const { return mounted_; }
  QString Path(const QString& name) const { return folder_.filePath(name); }
  QStringList Entries() const {
    return QDir(folder_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }
  bool MakeReadOnly() {
    return QProcess::execute(u"mount"_s, {u"-o"_s, u"remount,ro"_s, folder_.path()}) == 0;
  }

 private:
  QTemporaryDir folder_;
  bool mounted_ = false;
};

// Pictures: a box of 153 x 93 at (3, 3) of the window.
const QRect kLogoBox(3, 3, 153, 93);
const QList<QRgb> kStripes = {qRgb(220, 30, 30), qRgb(30, 60, 220), qRgb(240, 220, 20),
                              qRgb(20, 150, 40)};

// Four stripes across the long side, so that a picture cut to fit shows fewer of them.
QImage Striped(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  const bool across = size.width() >= size.height();
  for (int i = 0; i < 4; ++i) {
    const int from = (across ? size.width() : size.height()) * i / 4;
    const int to = (across ? size.width() : size.height()) * (i + 1) / 4;
    const QRect band =
        across ? QRect(from, 0, to - from, size.height()) : QRect(0, from, size.width(), to - from);
    painter.fillRect(band, QColor(kStripes[i]));
  }
  return image;
}

QByteArray Encoded(const QImage& image, const char* format) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(95);
  writer.write(image);
  return data;
}

// Qt reads GIF but does not write it. An uncompressed GIF: with a clear code after every
// two pixels the LZW codes stay 3 bits wide and each one is a palette index.
QByteArray StripedGif(QSize size) {
  const QImage image = Striped(size);
  QByteArray gif("GIF89a");
  const auto word = [&gif](int v) {
    gif.append(char(v & 0xFF));
    gif.append(char(v >> 8));
  };
  word(size.width());
  word(size.height());
  gif.append("\xF1\x00\x00", 3);  // a global table of four colours
  for (QRgb c : kStripes) {
    gif.append(char(qRed(c)));
    gif.append(char(qGreen(c)));
    gif.append(char(qBlue(c)));
  }
  gif.append(',');
  word(0);
  word(0);
  word(size.width());
  word(size.height());
  gif.append('\0');
  gif.append('\x02');
  QByteArray packed;
  quint32 bits = 0;
  int count = 0;
  const auto put = [&](int code) {
    bits |= quint32(code) << count;
    for (count += 3; count >= 8; count -= 8, bits >>= 8) packed.append(char(bits & 0xFF));
  };
  put(4);
  int sinceClear = 0;
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x) {
      if (sinceClear++ == 2) {
        put(4);
        sinceClear = 1;
      }
      put(int(kStripes.indexOf(image.pixel(x, y))));
    }
  }
  put(5);
  if (count > 0) packed.append(char(bits & 0xFF));
  for (qsizetype at = 0; at < packed.size(); at += 255) {
    const QByteArray block = packed.mid(at, 255);
    gif.append(char(block.size()));
    gif.append(block);
  }
  gif.append('\0');
  gif.append(';');
  return gif;
}

bool Near(QRgb a, QRgb b, int tolerance) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

}  // namespace

class DocumentFilesRealTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<MainWindow> window;
  QtRuntimeServices qtServices;
  RuntimeServices& services = qtServices;
  std::unique_ptr<Program> program;
  DocumentState* document = nullptr;
  QTemporaryDir scratch;
  QTimer guard;
  QElapsedTimer modalSince;
  QPointer<QWidget> lastModal;
  bool leftOpen = false;

  TextEditBox* Editor() {
    return qobject_cast<TextEditBox*>(window->ControlWidget(Control::编辑框1));
  }
  QString Path(const QString& name) { return scratch.filePath(name); }
  Text EditorText() { return services.GetProperty(Control::编辑框1, Property::Content).AsText(); }
  bool Changed() { return services.SendControlMessage(Control::编辑框1, EM_GETMODIFY, 0, 0) != 0; }
  QString Title() { return ProgramTitle(window.get()); }
  // The user's own typing: the text changes and the changed mark is set.
  void Type(const QString& keys) {
    Editor()->setFocus();
    Editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(Editor(), keys);
  }
  // Fails the test instead of hanging when a dialog is left without an answer.
  void WatchModals() {
    QWidget* modal = QApplication::activeModalWidget();
    // A progress box waits for work, not for an answer.
    if (qobject_cast<QProgressDialog*>(modal)) modal = nullptr;
    if (modal != lastModal || !modal) {
      lastModal = modal;
      modalSince.restart();
    } else if (modalSince.elapsed() > 10000) {
      leftOpen = true;
      if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
      else
        modal->close();
    }
  }
  QImage LogoShown() { return window->grab(kLogoBox).toImage(); }

 private slots:
  void initTestCase() {
    QVERIFY(scratch.isValid());
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&guard, &QTimer::timeout, [this] { WatchModals(); });
    guard.start(100);
  }

  void init() {
    program = std::make_unique<Program>(services);
    document = &program->document;
    window = std::make_unique<MainWindow>(MainWindowDefinition(), [this](const Event& event) {
      if (program) DispatchEvent(*program, event);
    });
    qtServices.Attach(window.get(), MainWindowDefinition());
    window->show();
    leftOpen = false;
  }

  void cleanup() {
    WithdrawPendingWaits();
    window.reset();
    program.reset();
    QVERIFY2(!leftOpen, "a dialog was left waiting for an answer");
  }

  // --- Script files --------------------------------------------------------------------

  void scriptsRoundTripThroughTheEditor_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("shown");  // a piece of what the editor must show
    QTest::newRow("GBK, CR LF") << Gbk(u"第一行\r\n第二行\r\n"_s) << u"第二行"_s;
    QTest::newRow("GBK, bare LF") << Gbk(u"甲\n乙\n丙\n"_s) << u"丙"_s;
    QTest::newRow("GBK, no final line end") << Gbk(u"讲稿\r\n最后一行"_s) << u"最后一行"_s;
    QTest::newRow("GBK, end-of-file mark") << Gbk(u"前\x1A后"_s) << u"后"_s;
    QTest::newRow("UTF-8") << u"讲稿\r\n★ 😀 末尾"_s.toUtf8() << u"😀 末尾"_s;
    QTest::newRow("UTF-8 with mark")
        << WithMark("\xEF\xBB\xBF", u"讲稿\r\n末尾"_s.toUtf8()) << u"末尾"_s;
    QTest::newRow("UTF-16 LE") << Utf16(u"讲稿\r\n😀 末尾\n"_s, false) << u"😀 末尾"_s;
    QTest::newRow("UTF-16 BE") << Utf16(u"讲稿\r\n😀 末尾\n"_s, true) << u"😀 末尾"_s;
    QTest::newRow("GBK, bytes that start no character")
        << QByteArray("\x41\x80\x42\xFF\x43\xA2\xE3", 7) << u"A€B"_s;
    QTest::newRow("code page 936 euro sign") << Gbk(u"价格："_s) +
                                                    "\x80"
                                                    "100"
                                             << u"：€100"_s;
    QTest::newRow("UTF-8, the editor's own marks")
        << u"甲\u2028乙\u240D丙\u2029丁\uFDD0€\r\n\n\r末尾"_s.toUtf8() << u"末尾"_s;
  }
  void scriptsRoundTripThroughTheEditor() {
    QFETCH(QByteArray, file);
    QFETCH(QString, shown);
    const QString path = Path(u"往返.txt"_s);
    QVERIFY(WriteAll(path, file));

    QVERIFY(LoadDocument(services, *document, NativeText(path)));
    QVERIFY2(Editor()->toPlainText().contains(shown), qPrintable(Editor()->toPlainText()));
    QVERIFY(!Changed());
    QCOMPARE(SaveDocument(services, *document, Text(), false), SaveOutcome::Saved);
    QCOMPARE(ReadAll(path), file);
  }

  void bytesThatStartNoCharacterShowAsTheReplacementMark() {
    const QString path = Path(u"残缺.txt"_s);
    QVERIFY(WriteAll(path, QByteArray("A\xFF"
                                      "B",
                                      3)));
    Editor()->setCursorWidth(0);  // no caret blinking into the pictures
    QVERIFY(LoadDocument(services, *document, NativeText(path)));
    const QImage stray = Editor()->viewport()->grab().toImage();
    Editor()->setPlainText(u"A\uFFFDB"_s);
    QCOMPARE(Editor()->viewport()->grab().toImage(), stray);
  }

  void onlyRegularFilesOfBoundedSizeOpen() {
    const QString fifo = Path(u"管道.txt"_s);
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString endless = Path(u"无尽.txt"_s);
    QVERIFY(QFile::link(u"/dev/zero"_s, endless));
    const QString huge = Path(u"过大.txt"_s);  // sparse: one byte past 256 MB
    QFile hugeFile(huge);
    QVERIFY(hugeFile.open(QIODevice::WriteOnly) && hugeFile.resize((256ll << 20) + 1));
    hugeFile.close();
    const QString zeros = Path(u"二进制.txt"_s);
    QVERIFY(WriteAll(zeros, QByteArray("\0\0\0\0", 4)));
    services.SetProperty(Control::编辑框1, Property::Content, G(u"原稿"_s));
    // The designed first line, then the file and why.
    const std::pair<QString, QString> failures[] = {
        {fifo, u"不是普通文件。"_s},
        {endless, u"不是普通文件。"_s},
        {huge, u"文件大于 256 MB。"_s},
        {zeros, u"不是文本文件。"_s},
        {Path(u"无.txt"_s), u"文件或其所在的文件夹不存在。"_s}};
    for (const auto& [path, reason] : failures) {
      BoxSeen box;
      AnswerMessageBox(box, u"确定"_s);
      QVERIFY2(!LoadDocument(services, *document, NativeText(path)), qPrintable(path));
      QCOMPARE(box.text, u"打开文件失败!\n"_s + path + u"\n"_s + reason);
    }
    QCOMPARE(EditorText(), G(u"原稿"_s));
  }

  void clearingIsOneEditThatUndoTakesBack() {
    services.SetProperty(Control::编辑框1, Property::Content, G(u"讲稿\r\n第二行"_s));
    Click(window.get(), u"清空"_s);
    QCOMPARE(EditorText(), Text());
    QVERIFY(Changed());
    Click(window.get(), u"撤销"_s);
    QCOMPARE(EditorText(), G(u"讲稿\r\n第二行"_s));
  }

  void emptyEditorSavesZeroBytes() {
    const QString path = Path(u"空.txt"_s);
    QVERIFY(WriteAll(path, "something before"));
    services.SetProperty(Control::编辑框1, Property::Content, Text());
    QCOMPARE(SaveDocument(services, *document, NativeText(path), true), SaveOutcome::Saved);
    QCOMPARE(QFileInfo(path).size(), 0);
    QVERIFY(QFileInfo::exists(path));
  }

  void saveKeepsThePermissionBits() {
    const QString path = Path(u"权限.txt"_s);
    QVERIFY(WriteAll(path, "old"));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
    services.SetProperty(Control::编辑框1, Property::Content, G(u"新"_s));
    QCOMPARE(SaveDocument(services, *document, NativeText(path), true), SaveOutcome::Saved);
    QCOMPARE(ReadAll(path), Gbk(u"新"_s));
    struct stat info {};
    QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
    QCOMPARE(info.st_mode & 07777, 0640u);
  }

  void failedSaveLeavesTheOldFileIntact_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("device full") << false;
    QTest::newRow("read-only folder") << true;
  }
  void failedSaveLeavesTheOldFileIntact() {
    QFETCH(bool, readOnly);
    TinyDevice device;
    if (!device.Mounted()) QSKIP("cannot mount a small tmpfs here (needs root)");
    const QString path = device.Path(u"讲稿.txt"_s);
    const QByteArray old = Gbk(u"旧的讲稿。\r\n"_s.repeated(60));
    QVERIFY(WriteAll(path, old));
    document->CurrentFileName = NativeText(path);
    if (readOnly) QVERIFY(device.MakeReadOnly());
    // 16 KiB do not fit on the device; on the read-only one nothing does.
    const QString text = u"新的讲稿比整个设备还大。\r\n"_s.repeated(readOnly ? 2 : 700);
    services.SetProperty(Control::编辑框1, Property::Content, G(text));
    Type(u"!"_s);
    QVERIFY(Changed());

    BoxSeen box;
    AnswerMessageBox(box, u"确定"_s);
    QCOMPARE(SaveDocument(services, *document, Text(), false), SaveOutcome::Failed);

    QCOMPARE(box.text, u"保存文件失败!\n"_s + path + u"\n"_s +
                           (readOnly ? u"文件系统是只读的。"_s : u"磁盘已满。"_s));
    QCOMPARE(box.caption, u"错误"_s);
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(device.Entries(), QStringList{u"讲稿.txt"_s});  // no temporary file left behind
    QVERIFY2(Changed(), "the text was not saved, so it still counts as changed");
    QCOMPARE(document->CurrentFileName, NativeText(path));
    QCOMPARE(Editor()->toPlainText(), QString(text + u"!"_s).replace(u"\r\n"_s, u"\n"_s));
  }

  void fileLockedByAnotherOpenFailsToOpen() {
    const QString current = Path(u"当前.txt"_s);
    const QString locked = Path(u"锁住.txt"_s);
    QVERIFY(WriteAll(current, Gbk(u"当前的稿子"_s)));
    QVERIFY(WriteAll(locked, Gbk(u"别人占着的稿子"_s)));
    QVERIFY(LoadDocument(services, *document, NativeText(current)));
    Type(u"++"_s);
    window->setWindowTitle(u"标题"_s);

    const int holder = services.OpenFile(NativeText(locked), 1, 4);
    QVERIFY(holder != 0);
    BoxSeen box;
    AnswerMessageBox(box, u"确定"_s);
    QVERIFY(!LoadDocument(services, *document, NativeText(locked)));
    QCOMPARE(box.text, u"打开文件失败!\n"_s + locked + u"\n文件正被其他程序独占使用。"_s);
    QCOMPARE(box.caption, u"错误"_s);
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(Editor()->toPlainText(), u"当前的稿子++"_s);
    QVERIFY(Changed());
    QCOMPARE(document->CurrentFileName, NativeText(current));
    QCOMPARE(Title(), u"标题"_s);

    services.CloseFile(holder);
    QVERIFY(LoadDocument(services, *document, NativeText(locked)));
    QCOMPARE(Editor()->toPlainText(), u"别人占着的稿子"_s);
  }

  void bigScriptOpensAndSaves() {
    // 20 MB of GBK lines with CR LF, some ASCII, full-width forms and the odd bare LF.
    QByteArray file;
    file.reserve(21 * 1024 * 1024);
    for (int line = 0; file.size() < 20 * 1024 * 1024; ++line) {
      file += Gbk(u"第%1行：这是录制教程视频时要读的讲稿，ＡＢＣ abc 123。"_s.arg(line));
      file += line % 97 == 0 ? "\n" : "\r\n";
    }
    const QString path = Path(u"大讲稿.txt"_s);
    QVERIFY(WriteAll(path, file));

    QVERIFY(LoadDocument(services, *document, NativeText(path)));
    QCOMPARE(qsizetype(EditorText().size()), file.size());
    Type(u"x"_s);
    QCOMPARE(SaveDocument(services, *document, Text(), false), SaveOutcome::Saved);
    QCOMPARE(ReadAll(path), file + "x");
  }

  // A large file is read and made ready on a worker: the window goes on handling events,
  // the editor keeps its text until the new one is ready, and the progress box that shows
  // after half a second cancels the open. Saving it back goes the same way.
  void largeFileOpensBehindAProgressBoxThatCancels() {
    QByteArray block;
    for (int line = 0; line < 1000; ++line)
      block += Gbk(u"第%1行：这是录制教程视频时要读的讲稿，ＡＢＣ abc 123。\r\n"_s.arg(line));
    const QByteArray file = block.repeated(48 * 1024 * 1024 / block.size());
    const QString path = Path(u"很大的讲稿.txt"_s);
    QVERIFY(WriteAll(path, file));
    services.SetProperty(Control::编辑框1, Property::Content, G(u"原稿"_s));
    document->CurrentFileName = G(u"原来的.txt"_s);

    bool returned = false;
    QStringList shownMeanwhile;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&] {
      if (!returned) shownMeanwhile << Editor()->toPlainText().left(10);
    });
    tick.start(10);
    bool boxShown = false;
    WhenModal<QProgressDialog>([&](QProgressDialog* box) {
      boxShown = true;
      box->cancel();
    });
    QVERIFY(!LoadDocument(services, *document, NativeText(path)));
    returned = true;
    QVERIFY(boxShown);
    QVERIFY2(!shownMeanwhile.isEmpty(), "no event was handled while the file was read");
    QCOMPARE(shownMeanwhile.filter(u"原稿"_s).size(), shownMeanwhile.size());
    QCOMPARE(EditorText(), G(u"原稿"_s));
    QCOMPARE(document->CurrentFileName, G(u"原来的.txt"_s));

    QVERIFY(LoadDocument(services, *document, NativeText(path)));
    QCOMPARE(qsizetype(EditorText().size()), file.size());
    Type(u"x"_s);
    QCOMPARE(SaveDocument(services, *document, Text(), false), SaveOutcome::Saved);
    QVERIFY(!Changed());
    QCOMPARE(ReadAll(path), file + "x");
  }

  void closeRequestAsksAndCancelKeepsTheWindow() {
    Type(u"draft"_s);
    const QString title = Title();
    BoxSeen box;
    AnswerMessageBox(box, u"取消"_s);
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    // The box shows CR LF, in the title too, as a plain line break.
    QCOMPARE(box.text, QString(u"文件 "_s + title + u" 的文字已经改变。\r\n想保存文件吗?"_s)
                           .replace(u"\r\n"_s, u"\n"_s));
    QCOMPARE(box.caption, u"_启动窗口"_s);
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.defaultButton, u"是(&Y)"_s);

    AnswerMessageBox(box, u"否(&N)"_s);
    QVERIFY(window->close());
    QVERIFY(!window->isVisible());
  }

  // --- Font -----------------------------------------------------------------------------

  void fontDialogFirstOpensOnTheEditorsFont() {
    const ControlFont before = FontOf(Editor());
    const QString drawnWith = QFontInfo(Editor()->font()).family();
    const QColor colour = Editor()->palette().color(QPalette::Text);
    QFont shown;
    QString sample;
    WhenModal<QDialog>([&](QDialog* dialog) {
      shown = dialog->findChild<QFontDialog*>()->currentFont();
      for (QGroupBox* group : dialog->findChildren<QGroupBox*>())
        if (auto* edit = group->findChild<QLineEdit*>()) sample = edit->text();
      Click(dialog, u"确定"_s);
    });
    ChooseEditorFont(services);
    QCOMPARE(shown.pointSize(),
             services.GetProperty(Control::编辑框1, Property::Font, FontElement::Size).AsInt());
    QCOMPARE(sample, u"AaBb 中文字体"_s);
    // Confirmed unchanged, it leaves the editor as it was.
    const ControlFont after = FontOf(Editor());
    // "宋体" is a name for whichever Song face is installed: the face drawn stays the same.
    QCOMPARE(QFontInfo(Editor()->font()).family(), drawnWith);
    QCOMPARE(after.height, before.height);
    QCOMPARE(after.bold, before.bold);
    QCOMPARE(Editor()->palette().color(QPalette::Text), colour);
  }

  void fontChoiceSetsTheWholeEditorAndIsShownAgain() {
    const QString face = FaceWithBold();
    if (face.isEmpty()) QSKIP("no face with a bold style is installed");
    services.SetProperty(Control::编辑框1, Property::Content,
                         G(u"第一行\r\n第二行\r\n第三行 ABC"_s));

    WhenModal<QDialog>([&](QDialog* dialog) {
      dialog->findChild<QFontDialog*>()->setCurrentFont(QFont(face, 12, QFont::Bold));
      auto* colours = dialog->findChild<QComboBox*>(u"colourCombo"_s);
      colours->setCurrentIndex(colours->findText(u"红色"_s));
      Click(dialog, u"确定"_s);
    });
    ChooseEditorFont(services);

    const int dpi = Editor()->logicalDpiY();
    const ControlFont font = FontOf(Editor());
    QCOMPARE(font.height, -(12 * dpi + 36) / 72);
    QVERIFY(font.bold);
    QVERIFY(!font.italic && !font.underline && !font.strikeOut);
    QCOMPARE(font.faceName, face);
    QCOMPARE(Editor()->palette().color(QPalette::Text), QColor(255, 0, 0));
    // Every line takes the font: no piece of the text keeps a font of its own.
    QVERIFY(Editor()->document()->defaultFont().bold());
    for (QTextBlock block = Editor()->document()->begin(); block.isValid(); block = block.next()) {
      for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
        const QTextCharFormat format = piece.fragment().charFormat();
        QVERIFY(!format.hasProperty(QTextFormat::FontWeight));
        QVERIFY(!format.hasProperty(QTextFormat::FontPixelSize));
        QVERIFY(!format.hasProperty(QTextFormat::ForegroundBrush));
      }
    }
    // And the text is drawn in the chosen colour.
    const QImage drawn = Editor()->viewport()->grab().toImage();
    int red = 0;
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x) red += Near(drawn.pixel(x, y), qRgb(255, 0, 0), 60);
    QVERIFY2(red > 50, qPrintable(QString::number(red)));

    // The second opening shows the first choice; cancelling it changes nothing.
    QFont shown;
    QString colourShown;
    WhenModal<QDialog>([&](QDialog* dialog) {
      shown = dialog->findChild<QFontDialog*>()->currentFont();
      colourShown = dialog->findChild<QComboBox*>(u"colourCombo"_s)->currentText();
      Click(dialog, u"取消"_s);
    });
    ChooseEditorFont(services);
    QCOMPARE(shown.family().section(u" ["_s, 0, 0), face);
    QCOMPARE(shown.pointSize(), 12);
    QVERIFY(shown.bold());
    QCOMPARE(colourShown, u"红色"_s);
    QCOMPARE(FontOf(Editor()).height, font.height);
    QCOMPARE(Editor()->palette().color(QPalette::Text), QColor(255, 0, 0));
  }

  // --- Logo picture ---------------------------------------------------------------------

  void picturesArePlacedInTheBox_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("placed");  // within the box
    QTest::addColumn<int>("tolerance");
    const struct {
      const char* name;
      QSize size;
      QRect placed;
    } shapes[] = {
        {"wider", QSize(306, 62), QRect(0, 31, 153, 31)},   // halved, centred vertically
        {"taller", QSize(102, 186), QRect(51, 0, 51, 93)},  // halved, centred horizontally
        {"smaller", QSize(81, 41), QRect(36, 26, 81, 41)},  // own size, in the middle
    };
    for (const char* format : {"jpg", "bmp", "gif"}) {
      for (const auto& shape : shapes) {
        QTest::addRow("%s %s", format, shape.name)
            << QString::fromLatin1(format) << shape.size << shape.placed
            << (QByteArray(format) == "jpg" ? 40 : 2);
      }
    }
  }
  void picturesArePlacedInTheBox() {
    QFETCH(QString, format);
    QFETCH(QSize, size);
    QFETCH(QRect, placed);
    QFETCH(int, tolerance);
    const QImage blank = LogoShown();  // the designer's logo, for comparison
    const QString path = Path(u"图片."_s + format);
    QVERIFY(WriteAll(path, format == u"gif"_s
                               ? StripedGif(size)
                               : Encoded(Striped(size), format.toLatin1().constData())));

    ChooseInFileDialog(path);
    ChooseLogoPicture(services);
    QCOMPARE(services.GetProperty(Control::图片框1, Property::Picture).AsBytes().size(),
             std::size_t(QFileInfo(path).size()));

    const QImage shown = LogoShown();
    QCOMPARE(shown.size(), kLogoBox.size());
    // All four stripes show, each across a quarter of the placed picture.
    const bool across = size.width() >= size.height();
    for (int i = 0; i < 4; ++i) {
      const QPoint middle =
          across ? QPoint(placed.left() + placed.width() * (2 * i + 1) / 8, placed.center().y())
                 : QPoint(placed.center().x(), placed.top() + placed.height() * (2 * i + 1) / 8);
      QVERIFY2(Near(shown.pixel(middle), kStripes[i], tolerance),
               qPrintable(u"stripe %1 at %2,%3 is %4"_s.arg(i)
                              .arg(middle.x())
                              .arg(middle.y())
                              .arg(QColor(shown.pixel(middle)).name())));
    }
    // Outside the placed picture the window's background shows.
    const QRgb background = window->palette().color(QPalette::Window).rgb();
    const QPoint outside[] = {{placed.left() - 2, placed.center().y()},
                              {placed.right() + 2, placed.center().y()},
                              {placed.center().x(), placed.top() - 2},
                              {placed.center().x(), placed.bottom() + 2}};
    int checked = 0;
    for (QPoint point : outside) {
      if (!shown.rect().contains(point)) continue;
      ++checked;
      QVERIFY2(shown.pixel(point) == background,
               qPrintable(u"%1,%2 is %3"_s.arg(point.x()).arg(point.y()).arg(
                   QColor(shown.pixel(point)).name())));
    }
    QVERIFY(checked >= 2);
    QVERIFY(shown != blank);
  }

  void corruptJpegClearsThePicture() {
    const QString good = Path(u"好.bmp"_s);
    QVERIFY(WriteAll(good, Encoded(Striped(QSize(81, 41)), "bmp")));
    ChooseInFileDialog(good);
    ChooseLogoPicture(services);
    const QRgb background = window->palette().color(QPalette::Window).rgb();
    QVERIFY(LogoShown().pixel(kLogoBox.width() / 2, kLogoBox.height() / 2) != background);

    QByteArray broken("\xFF\xD8\xFF\xE0", 4);
    QRandomGenerator random(20240607);
    for (int i = 0; i < 4000; ++i) broken.append(char(random.bounded(256)));
    const QString bad = Path(u"坏.jpg"_s);
    QVERIFY(WriteAll(bad, broken));
    ChooseInFileDialog(bad);
    ChooseLogoPicture(services);

    const QImage shown = LogoShown();
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x)
        QVERIFY2(shown.pixel(x, y) == background, qPrintable(u"%1,%2"_s.arg(x).arg(y)));

    // The program goes on: another picture still shows.
    ChooseInFileDialog(good);
    ChooseLogoPicture(services);
    QVERIFY(LogoShown().pixel(kLogoBox.width() / 2, kLogoBox.height() / 2) != background);
  }

  void cancelledPictureDialogKeepsThePicture() {
    const QImage before = LogoShown();
    WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    ChooseLogoPicture(services);
    QCOMPARE(LogoShown(), before);
  }
};

QTEST_MAIN(DocumentFilesRealTest)
#include "DocumentFilesRealTest.moc"
