// The baseline for start-up time and memory: the least a Qt Widgets program can
// show, one empty window of the program's size, built with the program's flags.

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(233, 186);
    window.show();
    return QApplication::exec();
}
