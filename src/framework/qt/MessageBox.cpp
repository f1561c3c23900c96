#include "framework/qt/MessageBox.h"

#include <QAbstractButton>
#include <QMessageBox>
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

}  // namespace

int RunMessageBox(QWidget* owner, const QString& text, int style, const QString& caption) {
  QMessageBox box(owner);
  box.setWindowTitle(WindowManagerTitle(caption));
  // The program's texts are plain and use CR LF; neither markup nor a stray CR may show.
  box.setTextFormat(Qt::PlainText);
  QString plain = text;
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  box.setText(plain);
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
