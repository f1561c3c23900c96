#include "framework/qt/QtRuntimeServices.h"

#include <QProgressDialog>
#include <QTextDocument>
#include <algorithm>

#include "framework/platform/BackgroundJobs.h"
#include "framework/platform/CharacterKeys.h"
#include "framework/platform/LayoutKeys.h"
#include "framework/platform/WaylandClipboard.h"
#include "framework/platform/WaylandKeys.h"
#include "framework/platform/X11Clipboard.h"
#include "framework/qt/GlobalHotKeys.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/PortalHotKeys.h"
#include "framework/qt/PortalKeys.h"
#include "framework/qt/QtText.h"

QtRuntimeServices::QtRuntimeServices()
    : keys_(std::make_unique<CharacterKeys>()),
      waylandKeys_(std::make_unique<WaylandKeys>()),
      layoutKeys_(std::make_unique<LayoutKeys>()),
      waylandClipboard_(std::make_unique<WaylandClipboard>()),
      x11Clipboard_(std::make_unique<X11Clipboard>()),
      background_(std::make_unique<BackgroundJobs>()) {}
QtRuntimeServices::~QtRuntimeServices() {
  // File work still queued is done while every part it may use is whole.
  background_.reset();
  StopAllThreads();
}

void QtRuntimeServices::Attach(MainWindow* window, const WindowDefinition& definition) {
  window_ = window;
  dialogs_.clear();
  for (const ControlDefinition& control : definition.controls) {
    if (control.kind != ControlKind::CommonDialog) continue;
    CommonDialogState state;
    state.type = std::clamp(control.dialogType, 0, 3);
    state.filter = ToQString(control.filter);
    state.defaultExtension = ToQString(control.defaultExtension);
    dialogs_[control.name] = state;
  }
}
