#include "application.h"

#include "errorreport.h"
#include "windowstyle.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>

namespace ktb {

QString applicationTitle(const QString &executablePath)
{
    const QString fileName = executablePath.mid(executablePath.lastIndexOf(u'/') + 1);
    const QString stem = fileName.left(fileName.indexOf(u'.'));
    if (stem.isEmpty())
        return stem;
    return stem.left(1) + stem.mid(1).toLower();
}

namespace {

void showErrorBox(const QString &text)
{
    // Owned by the application rather than by a window: while it is open no
    // other window of the program takes input, and focus returns where it was.
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

void setUpApplication(QApplication &app, const QString &executablePath)
{
    QCoreApplication::setApplicationName(applicationTitle(executablePath));
    // Lets the desktop match the window to the installed launcher and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.ktbctl.Ktbctl"));
    app.setStyle(new WindowStyle);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon.png")));
    setFailureReporter(showErrorBox);
}

void drainEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QPoint centredPosition(QSize screen, QSize frame)
{
    return {std::max(0, (screen.width() - frame.width()) / 2),
            std::max(0, (screen.height() - frame.height()) / 2)};
}

void showCentred(QWidget &window)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // The frame's size is known once the native window exists; before the first
    // map it may still lack the decoration, which then costs a few pixels only.
    window.winId();
    const QPoint corner = centredPosition(screen.size(), window.frameGeometry().size());
    window.move(screen.topLeft() + corner);
    window.show();
}

} // namespace ktb
