#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

class QApplication;
class QWidget;

namespace ktb {

// The title every error box carries: the executable's file name without its
// directory, cut before the first '.', all but the first character in lower case.
QString applicationTitle(const QString &executablePath);

// Application-wide set-up shared by the program and its window tests: title,
// style, and the default error report as a modal message box.
void setUpApplication(QApplication &app, const QString &executablePath);

// Handles every event pending for this thread and returns when none is left.
void drainEvents();

// Top-left corner that centres a frame on a screen; never negative, so a screen
// smaller than the window shows its top-left corner.
QPoint centredPosition(QSize screen, QSize frame);

// Shows a top-level window for the first time, centred on the primary screen.
void showCentred(QWidget &window);

} // namespace ktb
