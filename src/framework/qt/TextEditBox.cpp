#include "framework/qt/TextEditBox.h"

#include <QColor>
#include <QCoreApplication>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>

#include "framework/EditorText.h"
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

QTextDocument* TextEditBox::BuildDocument(const Text& text,
                                          const std::function<bool()>& stillWanted) {
  const QString whole = EditorStringFromText(text);
  auto* next = new QTextDocument;
  next->setUndoRedoEnabled(false);
  QTextCursor cursor(next);
  // In pieces, so that a build nobody wants any more ends soon.
  constexpr qsizetype kPiece = 1 << 22;
  for (qsizetype at = 0; at < whole.size();) {
    qsizetype count = std::min(kPiece, whole.size() - at);
    if (at + count < whole.size() && whole[at + count - 1].isHighSurrogate()) --count;
    cursor.insertText(whole.sliced(at, count));
    at += count;
    if (!stillWanted()) {
      delete next;
      return nullptr;
    }
  }
  // Each paragraph's layout object is made here: putting the document in lays out only
  // what shows, but first visits every paragraph's layout, and making millions of them
  // would hold up the window.
  int paragraphs = 0;
  for (QTextBlock block = next->begin(); block.isValid(); block = block.next()) {
    block.layout();
    if (++paragraphs % 65536 == 0 && !stillWanted()) {
      delete next;
      return nullptr;
    }
  }
  next->setUndoRedoEnabled(true);
  next->moveToThread(QCoreApplication::instance()->thread());
  return next;
}

void TextEditBox::AdoptDocument(QTextDocument* next) {
  QTextDocument* previous = document();
  next->setDefaultFont(previous->defaultFont());
  next->setDefaultTextOption(previous->defaultTextOption());
  next->setDocumentMargin(previous->documentMargin());
  next->setDocumentLayout(new QPlainTextDocumentLayout(next));
  // The first document belongs to Qt's own control, which deletes it when it is replaced.
  const bool ours = previous->parent() == this;
  disconnect(previous, nullptr, this, nullptr);
  next->setParent(this);
  setDocument(next);
  if (ours) delete previous;
  connect(next, &QTextDocument::contentsChange, this, &TextEditBox::OnContentsChange);
  modified_ = false;
  lastWasUndo_ = false;
  markFirst_ = -1;
  markCount_ = 0;
  setExtraSelections({});
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
  // Only a new sentence brings the view back to it: the user may scroll away meanwhile.
  const bool moved = !marks.isEmpty() && (first != markFirst_ || count != markCount_);
  markFirst_ = marks.isEmpty() ? -1 : first;
  markCount_ = marks.isEmpty() ? 0 : count;
  if (moved) ScrollIntoView(marks[0].cursor.selectionStart(), marks[0].cursor.selectionEnd());
}

// The text cursor stays where it is (ensureCursorVisible would need it moved there).
void TextEditBox::ScrollIntoView(int first, int last) {
  QScrollBar* bar = verticalScrollBar();
  if (bar->isSliderDown()) return;  // the user is dragging: theirs to place
  // A position's visual line (the scroll bar counts those) and where it is on screen.
  const auto lineOf = [this](int position, QRectF& onScreen) {
    const QTextBlock block = document()->findBlock(position);
    const QRectF blockArea = blockBoundingGeometry(block).translated(contentOffset());
    const QTextLine line = block.layout()->lineForTextPosition(position - block.position());
    if (!line.isValid()) return -1;
    onScreen = line.naturalTextRect().translated(blockArea.topLeft());
    return block.firstLineNumber() + line.lineNumber();
  };
  QRectF top, bottom;
  const int firstLine = lineOf(first, top);
  const int lastLine = lineOf(std::max(first, last - 1), bottom);
  if (firstLine < 0 || lastLine < 0) return;
  const QRect view = viewport()->rect();
  if (top.top() >= view.top() && bottom.bottom() <= view.bottom()) return;
  // One line of what came before stays in view when the whole sentence fits.
  const int lines = std::max(1, static_cast<int>(view.height() / std::max(1.0, top.height())));
  bar->setValue(lastLine - firstLine + 2 <= lines ? std::max(0, firstLine - 1) : firstLine);
}

void TextEditBox::DeleteSelection() {
  QTextCursor cursor = textCursor();
  if (cursor.hasSelection()) cursor.removeSelectedText();
}

namespace {
// The selection's units as the document holds them, stray bytes and all.
constexpr char kEditorUnitsFormat[] = "application/x-orvane-editor-units";
}  // namespace

QMimeData* TextEditBox::createMimeDataFromSelection() const {
  const std::u16string units = textCursor().selection().toRawText().toStdU16String();
  auto* data = new QMimeData;
  data->setText(QString::fromStdU16String(ReadableFromEditorUnits(units)));
  data->setData(kEditorUnitsFormat,
                QByteArray(reinterpret_cast<const char*>(units.data()),
                           static_cast<qsizetype>(units.size() * sizeof(char16_t))));
  return data;
}

bool TextEditBox::canInsertFromMimeData(const QMimeData* source) const {
  return source->hasFormat(kEditorUnitsFormat) || QPlainTextEdit::canInsertFromMimeData(source);
}

void TextEditBox::insertFromMimeData(const QMimeData* source) {
  if (isReadOnly() || !source->hasFormat(kEditorUnitsFormat))
    return QPlainTextEdit::insertFromMimeData(source);
  const QByteArray bytes = source->data(kEditorUnitsFormat);
  QTextCursor cursor = textCursor();
  cursor.insertText(QString(reinterpret_cast<const QChar*>(bytes.constData()),
                            bytes.size() / qsizetype(sizeof(char16_t))));
  setTextCursor(cursor);
  ensureCursorVisible();
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
