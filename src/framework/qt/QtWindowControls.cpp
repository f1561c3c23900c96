// QtRuntimeServices: the window's controls, menus, balloon tips and the editor's content
// made ready off the user-interface thread (window controls, part two).
#include "framework/qt/QtRuntimeServices.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QStyleFactory>
#include <QTextDocument>
#include <QTimer>

#include "framework/TextCodec.h"
#include "framework/platform/WorkerThreads.h"
#include "framework/qt/BalloonTip.h"
#include "framework/qt/FlatStyle.h"
#include "framework/qt/MainWindow.h"
#include "framework/qt/QtText.h"
#include "framework/qt/TextEditBox.h"
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

int QtRuntimeServices::SendControlMessage(Control control, int message, int first, int second) {
  const void* worker = WorkerThreads::CurrentToken();
  return OnUiThread([&]() -> int {
    auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(control)) : nullptr;
    if (!edit || WorkerThreads::StopRequested(worker)) return 0;
    switch (message) {
      case EM_UNDO:
        edit->UndoOnce();
        return 1;
      case EM_GETMODIFY:
        return edit->IsModified() ? 1 : 0;
      case EM_SETMODIFY:
        edit->SetModified(first != 0);
        return 0;
      case EM_SETSEL:
        edit->SelectCharacters(first, second);
        return 0;
      case WM_CLEAR:
        edit->DeleteSelection();
        return 0;
      default:
        return 0;
    }
  });
}

void QtRuntimeServices::AppendText(Control editBox, const std::vector<Text>& texts) {
  const void* worker = WorkerThreads::CurrentToken();
  OnUiThread([&] {
    auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(editBox)) : nullptr;
    if (!edit || WorkerThreads::StopRequested(worker)) return;
    for (const Text& text : texts) edit->Append(text);
  });
}

void QtRuntimeServices::RefreshNow(Control control) {
  OnUiThread([&] {
    if (QWidget* widget = window_ ? window_->ControlWidget(control) : nullptr) widget->repaint();
  });
}

int QtRuntimeServices::GetWindowHandle(Control control) {
  return OnUiThread([&]() -> int {
    QWidget* widget = window_ ? window_->ControlWidget(control) : nullptr;
    if (!widget) return 0;
    // Controls draw inside their window; the window's id is the one to hand out.
    return static_cast<int>(widget->window()->winId());
  });
}

void QtRuntimeServices::CloseWindow(Control window) {
  OnUiThread([&] {
    QWidget* widget = window_ ? window_->ControlWidget(window) : nullptr;
    if (widget && widget->isWindow()) QTimer::singleShot(0, widget, [widget] { widget->close(); });
  });
}

void QtRuntimeServices::PopUpMenu(Control owner, Menu menu, std::optional<int> x,
                                  std::optional<int> y) {
  OnUiThread([&] {
    QMenu* popup = window_ ? window_->MenuWidget(menu) : nullptr;
    if (!popup || !window_->ControlWidget(owner)) return;
    const QPoint cursor = QCursor::pos();
    const QPoint at = x && y ? QPoint(*x, *y) : cursor + QPoint(3, 3);
    popup->exec(at);
  });
}

bool QtRuntimeServices::ShowBalloon(Control balloon, int x, int y, const Text& text, int icon,
                                    const Text& title) {
  return OnUiThread([&] {
    if (!window_ || !window_->Balloon() || window_->Definition(balloon) == nullptr) return false;
    window_->Balloon()->ShowAt(QPoint(x, y), ToQString(text), icon, ToQString(title));
    return true;
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

int QtRuntimeServices::MouseX() {
  return OnUiThread([] { return QCursor::pos().x(); });
}

int QtRuntimeServices::MouseY() {
  return OnUiThread([] { return QCursor::pos().y(); });
}

bool QtRuntimeServices::ApplyFlatStyle(int style) {
  return OnUiThread([&] {
    const QColor frame = FlatStyle::SchemeColour(style);
    if (frame.isValid()) {
      QApplication::setStyle(new FlatStyle(frame));
      return true;
    }
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    return false;
  });
}

void QtRuntimeServices::SetMenuItemChecked(MenuItem item, bool checked) {
  OnUiThread([&] {
    if (QAction* action = window_ ? window_->MenuAction(item) : nullptr)
      action->setChecked(checked);
  });
}

void QtRuntimeServices::MarkText(Control editBox, int start, int length) {
  OnUiThread([&] {
    auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(editBox)) : nullptr;
    if (!edit) return;
    if (length <= 0 || start < 0) return edit->MarkCharacters(0, 0);
    // Byte offsets of the content to the editor's characters (CR LF is one there).
    const Text content = edit->Content();
    const auto at = [&](int bytes) {
      return static_cast<int>(
          EditorStringFromText(content.substr(0, std::min<std::size_t>(bytes, content.size())))
              .size());
    };
    const int first = at(start);
    edit->MarkCharacters(first, at(start + length) - first);
  });
}

int QtRuntimeServices::PrepareContent(Control editBox, const Text& text) {
  const void* worker = WorkerThreads::CurrentToken();
  QTextDocument* built =
      TextEditBox::BuildDocument(text, [worker] { return !WorkerThreads::StopRequested(worker); });
  if (!built) return 0;
  std::lock_guard lock(preparedMutex_);
  prepared_[nextPrepared_] = {editBox, built};
  return nextPrepared_++;
}

bool QtRuntimeServices::PutPreparedContent(int prepared) {
  const void* worker = WorkerThreads::CurrentToken();
  return OnUiThread([&] {
    if (WorkerThreads::StopRequested(worker)) return false;
    std::lock_guard lock(preparedMutex_);
    const auto found = prepared_.find(prepared);
    if (found == prepared_.end()) return false;
    const auto [control, built] = found->second;
    auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(control)) : nullptr;
    if (!edit) return false;
    prepared_.erase(found);
    edit->AdoptDocument(built);
    return true;
  });
}

void QtRuntimeServices::DiscardPreparedContent(int prepared) {
  std::lock_guard lock(preparedMutex_);
  const auto found = prepared_.find(prepared);
  if (found == prepared_.end()) return;
  found->second.second->deleteLater();  // it lives on the user-interface thread now
  prepared_.erase(found);
}

std::function<Text()> QtRuntimeServices::ContentForLater(Control editBox) {
  // QString shares its data safely between threads: the copy costs nothing here.
  const QString raw = OnUiThread([&] {
    auto* edit = window_ ? qobject_cast<TextEditBox*>(window_->ControlWidget(editBox)) : nullptr;
    return edit ? edit->document()->toRawText() : QString();
  });
  return [raw] { return TextFromEditorString(raw); };
}
