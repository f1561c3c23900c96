#include "ExportNarrationMain.h"

#include <iconv.h>
#include <langinfo.h>

#include <QCoreApplication>
#include <clocale>
#include <cstdio>

#include "app/NarrationHandlers.h"
#include "framework/TextCodec.h"
#include "framework/platform/AudioFileWriter.h"
#include "framework/platform/TerminationSignals.h"
#include "framework/qt/QtRuntimeServices.h"

namespace {

// A message in the terminal's own encoding (a GB18030 terminal gets GB18030).
std::string ForTerminal(const std::string& utf8) {
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || std::string(codeset) == "UTF-8") return utf8;
  iconv_t converter = iconv_open((std::string(codeset) + "//TRANSLIT").c_str(), "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return utf8;
  std::string out(utf8.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(utf8.data());
  char* target = out.data();
  std::size_t inLeft = utf8.size();
  std::size_t outLeft = out.size();
  while (inLeft > 0 &&
         iconv(converter, &in, &inLeft, &target, &outLeft) == static_cast<size_t>(-1)) {
    if (outLeft == 0) break;
    *target++ = '?';  // a character the terminal cannot show
    --outLeft;
    ++in;
    --inLeft;
  }
  iconv_close(converter);
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

int RunExportNarrationCommand(const std::string& script, const std::string& audio,
                              const std::string& subtitles) {
  // No display is needed: the event loop's core is enough for the services used here.
  int argc = 1;
  char name[] = "orvane-notepad";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  std::setlocale(LC_CTYPE, "");
  // A signal only asks the export to stop; it then removes what it wrote.
  termination_signals::Install();
  QtRuntimeServices services;
  Text problem;
  const Text audioPath = TextFromUtf8(audio);
  const int status = ExportNarrationCommand(
      services, TextFromUtf8(script), audioPath,
      subtitles.empty() ? Text() : TextFromUtf8(subtitles),
      [](int percent) {
        std::fprintf(stderr, "orvane-notepad: exporting narration %d%%\n", percent);
      },
      [] { return !termination_signals::Arrived(); }, &problem);
  if (status != 0 && termination_signals::Arrived()) {
    RemoveUnfinishedAudioFiles();
    const int signal = termination_signals::Take();
    std::fprintf(
        stderr, "%s\n",
        ForTerminal("orvane-notepad: the export was stopped; nothing was written").c_str());
    return 128 + (signal > 0 ? signal : 15);
  }
  if (status != 0)
    std::fprintf(stderr, "%s\n", ForTerminal("orvane-notepad: " + Utf8FromText(problem)).c_str());
  return status;
}
