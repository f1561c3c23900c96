#include "ExportNarrationMain.h"

#include <QCoreApplication>
#include <cstdio>

#include "app/NarrationHandlers.h"
#include "framework/TextCodec.h"
#include "framework/qt/QtRuntimeServices.h"

int RunExportNarrationCommand(const std::string& script, const std::string& wave) {
  // No display is needed: the event loop's core is enough for the services used here.
  int argc = 1;
  char name[] = "orvane-notepad";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  QtRuntimeServices services;
  Text problem;
  const int status = ExportNarrationCommand(
      services, TextFromUtf8(script), TextFromUtf8(wave),
      [](int percent) {
        std::fprintf(stderr, "orvane-notepad: exporting narration %d%%\n", percent);
      },
      &problem);
  if (status != 0) std::fprintf(stderr, "orvane-notepad: %s\n", Utf8FromText(problem).c_str());
  return status;
}
