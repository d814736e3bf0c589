#include "application.h"
#include "unit1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ktb::setUpApplication(app, QCoreApplication::applicationFilePath());

    TForm1 window;
    ktb::showCentred(window);
    return QApplication::exec();
}
