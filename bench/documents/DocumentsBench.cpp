// Open and save of a large GBK script in the real window (offscreen by default), and
// typing into one very long line.
//  - Open and save: the time to the text being shown / the file being written and the
//    longest time the window stopped handling events meanwhile, for the program's open
//    and save (worker thread) and for the same steps done in one go on the user-interface
//    thread (how it was done before), against iconv and cp of the same file.
//  - A keystroke on a single line of several megabytes: in the program's editor and in a
//    bare QPlainTextEdit holding the same text (the widget's own cost), split into the
//    key's handling (the edit and its re-layout) and the repaint.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/EventTable.h"
#include "app/MainWindowDefinition.h"
#include "app/Program.h"
#include "document/DocumentFiles.h"
#include "document/ScriptEncoding.h"
#include "framework/TextCodec.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/QtRuntimeServices.h"
#include "framework/qt/QtText.h"
#include "framework/qt/TextEditBox.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double TimeCommand(const std::string& command) {
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
  return MsSince(start);
}

// The longest gap between two turns of the event loop while it is watched.
class StallWatch {
 public:
  StallWatch() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Turn(); });
    timer_.setTimerType(Qt::PreciseTimer);
  }
  void Start() {
    longest_ = 0;
    clock_.start();
    timer_.start(2);
  }
  // The longest gap, counting the one up to now.
  double Stop() {
    Turn();
    timer_.stop();
    return longest_;
  }

 private:
  void Turn() {
    longest_ = std::max(longest_, clock_.nsecsElapsed() / 1e6);
    clock_.restart();
  }
  QTimer timer_;
  QElapsedTimer clock_;
  double longest_ = 0;
};

// Lines of a tutorial script: Chinese, full-width and ASCII, CR LF.
Text MakeScript(std::size_t bytes) {
  Text block;
  for (int line = 0; line < 1000; ++line)
    block += TextFromUtf8("第" + std::to_string(line) +
                          "行：这是录制教程视频时要读的讲稿，ＡＢＣ abc 123。\r\n");
  Text script;
  script.reserve(bytes + block.size());
  // Whole blocks only, never past the size asked for (the largest file that opens).
  do script += block;
  while (script.size() + block.size() <= bytes);
  return script;
}

// One key typed at the end of the editor's text: the key's handling, then the repaint.
std::pair<double, double> TimeKeystroke(QPlainTextEdit* edit) {
  edit->moveCursor(QTextCursor::End);
  const auto start = Clock::now();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, u"x"_qs);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, u"x"_qs);
  QApplication::sendEvent(edit, &press);
  QApplication::sendEvent(edit, &release);
  QApplication::processEvents();  // what the key posted: the window's own handlers
  const double handled = MsSince(start);
  const auto painting = Clock::now();
  edit->viewport()->repaint();
  return {handled, MsSince(painting)};
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir state;  // the autosave copies of the bench's own keystrokes
  qputenv("XDG_STATE_HOME", state.path().toUtf8());
  QApplication app(argc, argv);
  const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::size_t lineMegabytes = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 5;

  QTemporaryDir folder;
  const std::string path = QDir(folder.path()).filePath("script.txt").toStdString();
  const std::string copy = QDir(folder.path()).filePath("copy.txt").toStdString();
  // Just under the largest file that opens.
  const Text script =
      MakeScript(std::min<std::size_t>(megabytes << 20, (std::size_t{256} << 20) - 4096));
  std::ofstream(path, std::ios::binary).write(script.data(), std::streamsize(script.size()));

  QtRuntimeServices services;
  RuntimeServices& api = services;
  // The program's own handlers see every event, as in the program (nothing is started).
  Program program(services);
  MainWindow window(MainWindowDefinition(),
                    [&](const Event& event) { DispatchEvent(program, event); });
  services.Attach(&window, MainWindowDefinition());
  window.show();
  QApplication::processEvents();
  DocumentState& document = program.document;
  const Text name = TextFromUtf8(path);
  StallWatch watch;

  const std::string iconv = "iconv -f GB18030 -t UTF-8 '" + path + "' > /dev/null";
  const std::string cpSync = "cp '" + path + "' '" + copy + "' && sync '" + copy + "'";
  std::vector<double> iconvMs, cpSyncMs, openMs, openStall, syncOpenMs, saveMs, saveStall,
      syncSaveMs;
  for (int run = -1; run < runs; ++run) {  // run -1 warms the caches and is not counted
    const double iconvTime = TimeCommand(iconv);
    const double cpSyncTime = TimeCommand(cpSync);

    // Before: read, recognise and fill the editor on the user-interface thread.
    api.SetProperty(Control::编辑框1, Property::Content, Text());
    auto start = Clock::now();
    const std::optional<ByteBuffer> bytes = api.ReadRegularFile(name, kLargestScriptFile);
    const std::optional<DecodedScript> decoded = bytes ? DecodeScript(*bytes) : std::nullopt;
    if (!decoded) return std::fprintf(stderr, "the script did not read\n"), 1;
    api.SetProperty(Control::编辑框1, Property::Content, decoded->text);
    api.RefreshNow(Control::编辑框1);
    const double syncOpen = MsSince(start);

    // Now: the program's open, on a worker behind a progress box.
    api.SetProperty(Control::编辑框1, Property::Content, Text());
    start = Clock::now();
    watch.Start();
    if (!LoadDocument(api, document, name)) return std::fprintf(stderr, "open failed\n"), 1;
    api.RefreshNow(Control::编辑框1);
    const double open = MsSince(start);
    const double openLongest = watch.Stop();

    // Before: text out of the editor, encoded and written on the user-interface thread.
    start = Clock::now();
    const Text content = api.GetProperty(Control::编辑框1, Property::Content).AsText();
    const std::optional<ByteBuffer> encoded = EncodeScript(content, document.encoding);
    if (!encoded || !api.ReplaceFileBytes(name, {*encoded}))
      return std::fprintf(stderr, "save failed\n"), 1;
    const double syncSave = MsSince(start);

    start = Clock::now();
    watch.Start();
    if (SaveDocument(api, document, Text(), false) != SaveOutcome::Saved)
      return std::fprintf(stderr, "save failed\n"), 1;
    const double save = MsSince(start);
    const double saveLongest = watch.Stop();

    if (run < 0) continue;
    iconvMs.push_back(iconvTime);
    cpSyncMs.push_back(cpSyncTime);
    syncOpenMs.push_back(syncOpen);
    openMs.push_back(open);
    openStall.push_back(openLongest);
    syncSaveMs.push_back(syncSave);
    saveMs.push_back(save);
    saveStall.push_back(saveLongest);
  }
  // A key typed into the opened script: a second later the autosave copy takes the text.
  // Reference: the text taken out of the editor in one go on the window's thread.
  auto* editor = qobject_cast<TextEditBox*>(window.ControlWidget(Control::编辑框1));
  auto start = Clock::now();
  const Text taken = api.GetProperty(Control::编辑框1, Property::Content).AsText();
  const double takeInOneGo = MsSince(start);
  watch.Start();
  TimeKeystroke(editor);
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 1000 + 2 * takeInOneGo) QApplication::processEvents();
  const double autosaveLongest = watch.Stop();
  SetDocumentChanged(api, false);

  std::ifstream saved(path, std::ios::binary | std::ios::ate);
  if (std::size_t(saved.tellg()) != script.size())
    return std::fprintf(stderr, "the saved file has the wrong size\n"), 1;

  std::printf("script: %.1f MB GBK, %d runs, medians\n", script.size() / 1048576.0, runs);
  std::printf("open, in one go on the window's thread  %8.1f ms (window stopped throughout)\n",
              Median(syncOpenMs));
  std::printf("open, the program (worker)              %8.1f ms, window stopped at most %.1f ms\n",
              Median(openMs), Median(openStall));
  std::printf("iconv %8.1f ms  open / iconv = %.2f\n", Median(iconvMs),
              Median(openMs) / Median(iconvMs));
  std::printf("save, in one go on the window's thread  %8.1f ms (window stopped throughout)\n",
              Median(syncSaveMs));
  std::printf("save, the program (worker)              %8.1f ms, window stopped at most %.1f ms\n",
              Median(saveMs), Median(saveStall));
  std::printf("cp + sync %8.1f ms  save / (cp + sync) = %.2f\n", Median(cpSyncMs),
              Median(saveMs) / Median(cpSyncMs));

  std::printf(
      "a key, then its autosave copy: window stopped at most %.1f ms; the text out of "
      "the editor in one go %.1f ms\n",
      autosaveLongest, takeInOneGo);

  // Keystrokes at the end of one long line.
  // The script's sentences run together, without line ends.
  Text line = MakeScript(lineMegabytes << 20);
  std::erase_if(line, [](char c) { return c == '\r' || c == '\n'; });
  api.SetProperty(Control::编辑框1, Property::Content, line);
  editor->setFocus();
  editor->viewport()->repaint();
  QPlainTextEdit bare;
  bare.resize(editor->size());
  bare.setFont(editor->font());
  bare.setPlainText(EditorStringFromText(line));
  bare.show();
  bare.viewport()->repaint();
  std::vector<double> ourKey, ourPaint, bareKey, barePaint;
  for (int key = 0; key < 2 + runs; ++key) {
    const auto [k1, p1] = TimeKeystroke(editor);
    const auto [k2, p2] = TimeKeystroke(&bare);
    if (key < 2) continue;
    ourKey.push_back(k1);
    ourPaint.push_back(p1);
    bareKey.push_back(k2);
    barePaint.push_back(p2);
  }
  std::printf("keystroke on a %zu MB line: the program's editor %.1f ms (key %.1f, repaint %.1f)\n",
              lineMegabytes, Median(ourKey) + Median(ourPaint), Median(ourKey), Median(ourPaint));
  std::printf("                          bare QPlainTextEdit %.1f ms (key %.1f, repaint %.1f)\n",
              Median(bareKey) + Median(barePaint), Median(bareKey), Median(barePaint));
  std::printf("editor / bare widget = %.2f\n",
              (Median(ourKey) + Median(ourPaint)) / (Median(bareKey) + Median(barePaint)));
  return 0;
}
