// QtRuntimeServices: the hot keys the user chooses (their dialog, the stored settings and
// the notice about a key that is not in force).
#include <QTimer>

#include "framework/qt/BalloonTip.h"
#include "framework/qt/HotKeyDialog.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/ProgramSettings.h"
#include "framework/qt/QtRuntimeServices.h"
#include "framework/qt/QtText.h"
#include "framework/qt/UiThread.h"

namespace {

// Before the window is shown its place on the screen is not known: the balloon waits for
// it (the timers end with the control).
void ShowBalloonWhenVisible(MainWindow* window, QWidget* target, const QString& text) {
  if (!target->isVisible()) {
    QTimer::singleShot(50, target,
                       [window, target, text] { ShowBalloonWhenVisible(window, target, text); });
    return;
  }
  const QPoint tip = target->mapToGlobal(QPoint(target->width() / 2, target->height()));
  // Long enough to be read when it comes up while the user looks elsewhere.
  window->Balloon()->ShowAt(tip, text, 2, QString(), 10000);
}

}  // namespace

bool QtRuntimeServices::HasSetting(const Text& key) {
  return ProgramSettings::Get(ToQString(key)).has_value();
}

bool QtRuntimeServices::EditHotKeys(std::vector<HotKeyField>& fields, const HotKeyCheck& check) {
  return OnUiThread([&] {
    return RunHotKeyDialog(window_ && window_->isVisible() ? window_ : nullptr, fields, check);
  });
}

void QtRuntimeServices::ShowBalloonAtControl(Control balloon, Control control, const Text& text) {
  const QString shown = ToQString(text);
  OnUiThread([&] {
    if (!window_ || !window_->Balloon() || window_->Definition(balloon) == nullptr) return;
    if (QWidget* target = window_->ControlWidget(control))
      QTimer::singleShot(0, target, [window = window_, target, shown] {
        ShowBalloonWhenVisible(window, target, shown);
      });
  });
}
