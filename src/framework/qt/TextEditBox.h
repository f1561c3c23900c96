#pragma once

#include <QPlainTextEdit>
#include <functional>

#include "framework/Types.h"

// A multi-line edit box with the behaviour the program's logic relies on: a
// modification flag set by edits and cleared by setting the content, a one-step
// undo that a second undo takes back, and appends that cannot be undone.
class TextEditBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TextEditBox(QWidget* parent = nullptr);

  // Replaces the whole text; clears the modification flag and the undo step.
  void SetContent(const Text& text);
  // A document holding the text, built on the calling thread (a worker may build it)
  // and handed to the user-interface thread; null when stillWanted() turns false
  // between its pieces.
  static QTextDocument* BuildDocument(const Text& text, const std::function<bool()>& stillWanted);
  // Makes a built document the content, as SetContent does, keeping the look (font,
  // alignment); the box owns it from now on.
  void AdoptDocument(QTextDocument* next);
  Text Content() const;
  // Places the caret after the last character, inserts the text there and
  // scrolls it into view. Cannot be undone; marks the text as modified.
  void Append(const Text& text);

  bool IsModified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }
  // Takes back the last change; right after an undo, takes back that undo.
  void UndoOnce();
  // Selects characters first..last (last -1: to the end); deletes the selection as
  // one edit that UndoOnce takes back.
  void SelectCharacters(int first, int last);
  void DeleteSelection();

  void SetCentred(bool centred);
  // Gives count characters from first a background colour (an extra selection: not
  // an edit); count 0 clears it. A new mark out of view is scrolled into it.
  void MarkCharacters(int first, int count);

 protected:
  // Other programs get readable text; within the editor a copy keeps every byte.
  QMimeData* createMimeDataFromSelection() const override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;

 signals:
  // The text changed through an edit, an append or an undo (not SetContent).
  void contentChanged();

 private:
  void OnContentsChange(int position, int removed, int added);
  void ScrollIntoView(int first, int last);

  bool modified_ = false;
  bool settingContent_ = false;
  bool undoing_ = false;
  bool lastWasUndo_ = false;
  int markFirst_ = -1;
  int markCount_ = 0;
};
