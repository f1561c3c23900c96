#pragma once

#include <QString>

class QWidget;

// A title may hold line breaks (CR LF), which window managers draw as boxes. The
// window keeps the title as the program set it and gives the window manager each
// line break, and any other control character, as one space.
QString WindowManagerTitle(const QString& title);
void SetProgramTitle(QWidget* window, const QString& title);
QString ProgramTitle(const QWidget* window);
