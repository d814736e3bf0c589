#pragma once

// The real program under a private X server, driven as a person and a window
// manager would drive it: keys through the XTest extension, closing through
// the WM_DELETE_WINDOW request. Xlib stays inside xsession.cpp, whose macros
// (None, Bool, KeyPress, ...) would collide with Qt's names.

#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>

namespace ktb::test {

using namespace std::chrono_literals;

// An Xvfb of our own on a display number it picks itself (-displayfd), so
// tests running side by side never share a server.
class Xvfb
{
public:
    ~Xvfb();
    // Empty on success, otherwise why the server could not be started.
    QString start();
    QString display() const { return display_; }

private:
    QProcess process_;
    QString display_;
};

class XDriver
{
public:
    using WindowId = unsigned long;

    explicit XDriver(const QString &display);
    ~XDriver();
    bool isOpen() const;

    // The mapped top-level window of process `pid`, waiting for it to appear
    // until `timeout`; 0 when it did not.
    WindowId waitForWindow(qint64 pid, std::chrono::milliseconds timeout = 20s);

    QString title(WindowId window);
    QSize clientSize(WindowId window);

    // Gives the window the keyboard focus, as a click on its title bar would.
    void focus(WindowId window);
    // Presses and releases each key in turn: Tab, space and the characters 0-9
    // and a-z.
    void typeKeys(const QString &keys);
    void tab(int times = 1);

    // The close button of a window manager: false when the window does not
    // take WM_DELETE_WINDOW, or it could not be sent.
    bool requestClose(WindowId window);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Starts a private server and a driver on it; empty on success, otherwise why not.
QString openSession(Xvfb &xvfb, std::unique_ptr<XDriver> &driver);

// An environment in which the program starts as from a desktop session on
// `display`, with nothing of the test run's own Qt settings.
QProcessEnvironment programEnvironment(const QString &display);

// The keys of [section] in the order they stand in an ini file.
QStringList sectionKeys(const QString &iniPath, const QString &section);
// The value of one key of [section]; a null string when it is missing.
QString sectionValue(const QString &iniPath, const QString &section, const QString &key);

} // namespace ktb::test
