// Open and save of a large GBK script in the real window (offscreen by default): time to
// the text being shown and to the file being written, against iconv and cp of the same
// file in the same run.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/MainWindowDefinition.h"
#include "document/DocumentFiles.h"
#include "framework/TextCodec.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/QtRuntimeServices.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The real services, noting when the steps of an open and a save end.
class TimedServices : public QtRuntimeServices {
 public:
  ByteBuffer ReadFileBytes(const Text& path) override {
    ByteBuffer bytes = QtRuntimeServices::ReadFileBytes(path);
    read = Clock::now();
    return bytes;
  }
  void SetProperty(Control control, Property property, const Value& value,
                   FontElement element) override {
    decoded = Clock::now();
    QtRuntimeServices::SetProperty(control, property, value, element);
  }
  Value GetProperty(Control control, Property property, FontElement element) override {
    Value value = QtRuntimeServices::GetProperty(control, property, element);
    fetched = Clock::now();
    return value;
  }
  bool ReplaceFileBytes(const Text& path, const std::vector<ByteBuffer>& buffers) override {
    encoded = Clock::now();
    return QtRuntimeServices::ReplaceFileBytes(path, buffers);
  }
  Clock::time_point read, decoded, fetched, encoded;
};

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

// Lines of a tutorial script: Chinese, full-width and ASCII, CR LF.
Text MakeScript(std::size_t bytes) {
  Text script;
  script.reserve(bytes + 200);
  for (int line = 0; script.size() < bytes; ++line) {
    script += TextFromUtf8("第" + std::to_string(line) +
                           "行：这是录制教程视频时要读的讲稿，ＡＢＣ abc 123。\r\n");
  }
  return script;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;

  QTemporaryDir folder;
  const std::string path = QDir(folder.path()).filePath("script.txt").toStdString();
  const std::string copy = QDir(folder.path()).filePath("copy.txt").toStdString();
  const Text script = MakeScript(megabytes * 1024 * 1024);
  std::ofstream(path, std::ios::binary).write(script.data(), std::streamsize(script.size()));

  TimedServices services;
  RuntimeServices& api = services;
  MainWindow window(MainWindowDefinition(), [](const Event&) {});
  services.Attach(&window, MainWindowDefinition());
  window.show();
  QApplication::processEvents();
  DocumentState document;

  const std::string iconv = "iconv -f GB18030 -t UTF-8 '" + path + "' > /dev/null";
  const std::string cp = "cp '" + path + "' '" + copy + "'";
  const std::string cpSync = cp + " && sync '" + copy + "'";
  std::vector<double> iconvMs, cpMs, cpSyncMs, openMs, saveMs;
  std::vector<double> readMs, decodeMs, showMs, fetchMs, encodeMs, writeMs;
  for (int run = -1; run < runs; ++run) {  // run -1 warms the caches and is not counted
    const double iconvTime = TimeCommand(iconv);

    auto start = Clock::now();
    if (!LoadDocument(api, document, TextFromUtf8(path))) {
      std::fprintf(stderr, "open failed\n");
      return 1;
    }
    api.RefreshNow(Control::编辑框1);  // the text on the screen
    const double openTime = MsSince(start);
    const double read = std::chrono::duration<double, std::milli>(services.read - start).count();
    const double decode =
        std::chrono::duration<double, std::milli>(services.decoded - services.read).count();
    const double show = MsSince(services.decoded);

    const double cpTime = TimeCommand(cp);
    const double cpSyncTime = TimeCommand(cpSync);

    start = Clock::now();
    SaveDocument(api, document, Text(), false);
    const double saveTime = MsSince(start);
    const double fetch =
        std::chrono::duration<double, std::milli>(services.fetched - start).count();
    const double encode =
        std::chrono::duration<double, std::milli>(services.encoded - services.fetched).count();
    const double write = saveTime - fetch - encode;

    if (run < 0) continue;
    iconvMs.push_back(iconvTime);
    cpMs.push_back(cpTime);
    cpSyncMs.push_back(cpSyncTime);
    openMs.push_back(openTime);
    saveMs.push_back(saveTime);
    readMs.push_back(read);
    decodeMs.push_back(decode);
    showMs.push_back(show);
    fetchMs.push_back(fetch);
    encodeMs.push_back(encode);
    writeMs.push_back(write);
  }

  std::ifstream saved(path, std::ios::binary | std::ios::ate);
  if (std::size_t(saved.tellg()) != script.size()) {
    std::fprintf(stderr, "the saved file has %lld bytes, not %zu\n", (long long)saved.tellg(),
                 script.size());
    return 1;
  }
  std::printf("script: %.1f MB GBK, %d runs, medians\n", script.size() / 1048576.0, runs);
  std::printf("open  %8.1f ms  (read %.1f, decode %.1f, into the editor and drawn %.1f)\n",
              Median(openMs), Median(readMs), Median(decodeMs), Median(showMs));
  std::printf("iconv %8.1f ms  open / iconv = %.2f\n", Median(iconvMs),
              Median(openMs) / Median(iconvMs));
  std::printf("save  %8.1f ms  (from the editor %.1f, encode %.1f, write and fsync %.1f)\n",
              Median(saveMs), Median(fetchMs), Median(encodeMs), Median(writeMs));
  std::printf("cp    %8.1f ms  save / cp = %.2f\n", Median(cpMs), Median(saveMs) / Median(cpMs));
  std::printf("cp + sync of the copy %.1f ms  save / (cp + sync) = %.2f\n", Median(cpSyncMs),
              Median(saveMs) / Median(cpSyncMs));
  return 0;
}
