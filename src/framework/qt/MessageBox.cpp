#include "framework/qt/MessageBox.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTextLayout>
#include <algorithm>
#include <vector>

#include "framework/Controls.h"
#include "framework/qt/WindowTitle.h"

namespace {

struct ButtonChoice {
  QMessageBox::StandardButton button;
  const char16_t* label;
  int answer;
};

const ButtonChoice kOk{QMessageBox::Ok, u"确定", kAnswerOk};
const ButtonChoice kCancel{QMessageBox::Cancel, u"取消", kAnswerCancel};
const ButtonChoice kAbort{QMessageBox::Abort, u"中止", kAnswerAbort};
const ButtonChoice kRetry{QMessageBox::Retry, u"重试", kAnswerRetry};
const ButtonChoice kIgnore{QMessageBox::Ignore, u"忽略", kAnswerIgnore};
const ButtonChoice kYes{QMessageBox::Yes, u"是(&Y)", kAnswerYes};
const ButtonChoice kNo{QMessageBox::No, u"否(&N)", kAnswerNo};

struct ButtonSet {
  std::vector<ButtonChoice> buttons;  // in the Windows order, which the default bits count in
  ButtonChoice escape;                // what Esc and the close button answer
};

// Windows disables Esc and the close button on boxes without Cancel. Qt cannot take the
// close button away everywhere, so those boxes answer with the choice that commits to
// nothing: No for a question, Ignore (carry on as if the box had not been shown) for
// Abort/Retry/Ignore. An OK-only box answers OK, as on Windows.
ButtonSet ButtonsOf(int style) {
  switch (style & 0xF) {
    case kMbOkCancel:
      return {{kOk, kCancel}, kCancel};
    case kMbAbortRetryIgnore:
      return {{kAbort, kRetry, kIgnore}, kIgnore};
    case kMbYesNoCancel:
      return {{kYes, kNo, kCancel}, kCancel};
    case kMbYesNo:
      return {{kYes, kNo}, kNo};
    case kMbRetryCancel:
      return {{kRetry, kCancel}, kCancel};
    default:
      return {{kOk}, kOk};
  }
}

QMessageBox::Icon IconOf(int style) {
  switch (style & 0xF0) {
    case kMbIconStop:
      return QMessageBox::Critical;
    case kMbIconQuestion:
      return QMessageBox::Question;
    case kMbIconExclamation:
      return QMessageBox::Warning;
    case kMbIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// Room the box needs besides its text: title bar, margins, spacing and buttons.
constexpr int kBoxChromeHeight = 200;

// The text as lines no wider than width, each logical line broken where the box's label
// would break it at that width (or narrower).
QStringList VisualLines(const QString& text, const QFont& font, int width) {
  QStringList lines;
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  for (const QString& paragraph : text.split(u'\n')) {
    if (paragraph.isEmpty()) {
      lines << QString();
      continue;
    }
    QTextLayout layout(paragraph, font);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      lines << paragraph.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
  }
  return lines;
}

// A text too tall for the screen loses lines from its middle, marked by "…", so that the
// box and its buttons stay on the screen. The width is a little less than the box gives
// its label, so that no kept line wraps again.
QString FitToScreen(const QString& text, const QFont& font, const QRect& screen) {
  const int width = std::max(std::min(screen.width() / 2, 500) - 100, 100);
  const int lineHeight = std::max(QFontMetrics(font).lineSpacing(), 1);
  const int budget = std::max((screen.height() - kBoxChromeHeight) / lineHeight, 3);
  const QStringList lines = VisualLines(text, font, width);
  if (lines.size() <= budget) return text;
  const int head = (budget - 1) / 2;
  const int tail = budget - 1 - head;
  return QStringList(lines.mid(0, head)).join(u'\n') + QStringLiteral("\n…\n") +
         QStringList(lines.mid(lines.size() - tail)).join(u'\n');
}

}  // namespace

int RunMessageBox(QWidget* owner, const QString& text, int style, const QString& caption) {
  QMessageBox box(owner);
  box.setWindowTitle(WindowManagerTitle(caption));
  // The program's texts are plain and use CR LF; neither markup nor a stray CR may show.
  box.setTextFormat(Qt::PlainText);
  QString plain = text;
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  box.setText(screen ? FitToScreen(plain, box.font(), screen->availableGeometry()) : plain);
  box.setIcon(IconOf(style));

  const ButtonSet set = ButtonsOf(style);
  QMessageBox::StandardButtons all;
  for (const ButtonChoice& choice : set.buttons) all |= choice.button;
  box.setStandardButtons(all);
  for (const ButtonChoice& choice : set.buttons)
    box.button(choice.button)->setText(QString::fromUtf16(choice.label));
  const std::size_t defaultIndex =
      std::min<std::size_t>((style >> 8) & 0x3, set.buttons.size() - 1);
  box.setDefaultButton(set.buttons[defaultIndex].button);
  box.setEscapeButton(set.escape.button);

  // Task-modal and system-modal both block the whole program; system-modal also stays
  // above other programs' windows.
  box.setWindowModality(Qt::ApplicationModal);
  if (style & kMbSystemModal) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);

  box.exec();
  const QMessageBox::StandardButton clicked = box.standardButton(box.clickedButton());
  for (const ButtonChoice& choice : set.buttons)
    if (choice.button == clicked) return choice.answer;
  return set.escape.answer;
}
