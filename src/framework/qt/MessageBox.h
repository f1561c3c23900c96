#pragma once

#include <QString>

class QWidget;

// Shows a message box for a Windows message-box style value and waits for the answer:
// the button set in the low 4 bits, the icon in 0xF0, the default button in 0x300, and
// 0x1000 for system-modal (also kept on top). The box always blocks every window of the
// program. Returns one of MessageBoxAnswer. Owner may be null: the box then stands alone.
int RunMessageBox(QWidget* owner, const QString& text, int style, const QString& caption);
