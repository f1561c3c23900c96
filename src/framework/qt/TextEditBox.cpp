#include "framework/qt/TextEditBox.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>
#include <algorithm>

#include "framework/qt/QtText.h"

TextEditBox::TextEditBox(QWidget* parent) : QPlainTextEdit(parent) {
  connect(document(), &QTextDocument::contentsChange, this, &TextEditBox::OnContentsChange);
}

void TextEditBox::OnContentsChange(int, int removed, int added) {
  if (settingContent_ || (removed == 0 && added == 0)) return;
  modified_ = true;
  if (!undoing_) lastWasUndo_ = false;
  emit contentChanged();
}

void TextEditBox::SetContent(const Text& text) {
  settingContent_ = true;
  setPlainText(EditorStringFromText(text));
  settingContent_ = false;
  modified_ = false;
  lastWasUndo_ = false;
}

// The raw text: toPlainText() would turn line separators and no-break spaces into
// other characters.
Text TextEditBox::Content() const { return TextFromEditorString(document()->toRawText()); }

void TextEditBox::Append(const Text& text) {
  if (text.empty()) return;
  QTextDocument* doc = document();
  QTextCursor cursor(doc);
  cursor.movePosition(QTextCursor::End);
  Text pending = text;
  // A CR appended on its own and the LF that follows it make one line break.
  if (pending.front() == '\n' && cursor.position() > 0 &&
      doc->characterAt(cursor.position() - 1) == QChar(kBareCarriageReturn)) {
    cursor.deletePreviousChar();
    pending.insert(pending.begin(), '\r');
  }
  doc->setUndoRedoEnabled(false);  // an append is not an undoable edit
  cursor.insertText(EditorStringFromText(pending));
  doc->setUndoRedoEnabled(true);
  lastWasUndo_ = false;
  setTextCursor(cursor);
  ensureCursorVisible();
}

void TextEditBox::SelectCharacters(int first, int last) {
  const int end = document()->characterCount() - 1;  // without the final paragraph mark
  QTextCursor cursor(document());
  cursor.setPosition(std::clamp(first, 0, end));
  cursor.setPosition(last < 0 ? end : std::clamp(last, 0, end), QTextCursor::KeepAnchor);
  setTextCursor(cursor);
}

void TextEditBox::MarkCharacters(int first, int count) {
  QList<QTextEdit::ExtraSelection> marks;
  const int end = document()->characterCount() - 1;
  if (count > 0 && first < end) {
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(document());
    mark.cursor.setPosition(std::clamp(first, 0, end));
    mark.cursor.setPosition(std::clamp(first + count, 0, end), QTextCursor::KeepAnchor);
    mark.format.setBackground(QColor(0xFF, 0xE8, 0x8C));
    marks.append(mark);
  }
  setExtraSelections(marks);
}

void TextEditBox::DeleteSelection() {
  QTextCursor cursor = textCursor();
  if (cursor.hasSelection()) cursor.removeSelectedText();
}

void TextEditBox::UndoOnce() {
  QTextDocument* doc = document();
  undoing_ = true;
  if (lastWasUndo_ && doc->isRedoAvailable()) {
    doc->redo();
    lastWasUndo_ = false;
  } else if (doc->isUndoAvailable()) {
    doc->undo();
    lastWasUndo_ = true;
  }
  undoing_ = false;
}

void TextEditBox::SetCentred(bool centred) {
  QTextOption option = document()->defaultTextOption();
  option.setAlignment(centred ? Qt::AlignHCenter : Qt::AlignLeft);
  document()->setDefaultTextOption(option);
}
