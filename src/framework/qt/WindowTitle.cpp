#include "framework/qt/WindowTitle.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr char kProgramTitle[] = "orvaneProgramTitle";
}  // namespace

QString WindowManagerTitle(const QString& title) {
  QString shown;
  shown.reserve(title.size());
  for (qsizetype i = 0; i < title.size(); ++i) {
    const QChar c = title[i];
    if (c == u'\r' && i + 1 < title.size() && title[i + 1] == u'\n') continue;  // CR LF: one
    shown += (c.category() == QChar::Other_Control) ? QChar(u' ') : c;
  }
  return shown;
}

void SetProgramTitle(QWidget* window, const QString& title) {
  window->setProperty(kProgramTitle, title);
  window->setWindowTitle(WindowManagerTitle(title));
}

QString ProgramTitle(const QWidget* window) {
  // A title set straight through Qt since then wins.
  const QString title = window->property(kProgramTitle).toString();
  return WindowManagerTitle(title) == window->windowTitle() ? title : window->windowTitle();
}
