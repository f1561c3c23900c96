#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

class QWidget;

// What a common dialog holds between openings: it opens with these values and a
// confirmed dialog writes its result back into them.
struct CommonDialogState {
  int type = 0;   // 0 open file, 1 save file, 2 font, 3 help (not offered)
  QString title;  // empty: the dialog's usual title
  // Before: shown in the name field. After a confirmed file dialog: the full path chosen.
  QString fileName;
  // "description|patterns|description|patterns|", patterns separated by ';'.
  QString filter;
  // Pair preselected, clamped to the pairs present; a confirmed file dialog leaves the
  // pair the user chose.
  int initialFilter = 0;
  QString initialDirectory;
  QString defaultExtension;  // without the dot; appended to a typed name without one
  bool createPrompt = false;
  bool fileMustExist = true;
  bool overwritePrompt = true;
  bool pathMustExist = true;
  bool keepDirectory = false;
  // Font dialog.
  std::uint32_t colour = 0;  // COLORREF 0x00BBGGRR
  bool bold = false;
  bool italic = false;
  bool strikeOut = false;
  bool underline = false;
  QString faceName;
  int size = 0;  // points; 0 leaves the size to the dialog

  friend bool operator==(const CommonDialogState&, const CommonDialogState&) = default;
};

// Qt name filters for a Windows filter text. Each pair becomes "description (p1 p2)":
// Qt reads the patterns from the trailing parentheses and, with HideNameFilterDetails,
// shows the description alone, as Windows does. "*.*" becomes "*" (every file, with or
// without an extension); a pair without patterns offers every file.
QStringList QtNameFilters(const QString& filter);

// Shows the dialog state.type selects, application-modal, and waits. On confirmation a
// file dialog stores the absolute path in fileName (and, unless keepDirectory, makes its
// folder the current directory); the font dialog stores colour, style, face and size.
// True when confirmed; on cancel, and for the help type, state is left unchanged.
bool RunCommonDialog(QWidget* parent, CommonDialogState& state);
