#include "xsession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>
#include <QThread>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace ktb::test {

namespace {

// Windows come and go while we look at them; an error about one that has just
// gone is expected and must not end the test run, as Xlib's default handler would.
int ignoreXError(Display *, XErrorEvent *)
{
    return 0;
}

} // namespace

Xvfb::~Xvfb()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(5000);
    }
}

QString Xvfb::start()
{
    // Xvfb writes the display number it chose to the descriptor given, here
    // its standard output, once it accepts connections.
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp")});
    if (!process_.waitForStarted(10000))
        return QStringLiteral("Xvfb did not start: ") + process_.errorString();
    QDeadlineTimer deadline(20s);
    QByteArray out;
    while (!out.contains('\n') && !deadline.hasExpired()) {
        if (process_.state() == QProcess::NotRunning)
            break;
        process_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        out += process_.readAllStandardOutput();
    }
    const QByteArray number = out.trimmed();
    if (number.isEmpty())
        return QStringLiteral("Xvfb gave no display number: ") +
               QString::fromLocal8Bit(process_.readAllStandardError());
    display_ = QStringLiteral(":") + QString::fromLatin1(number);
    return {};
}

struct XDriver::Private
{
    Display *display = nullptr;
    Atom wmProtocols = 0;
    Atom wmDeleteWindow = 0;
    Atom netWmPid = 0;
    Atom netWmName = 0;
    Atom utf8String = 0;

    qint64 windowPid(Window window) const
    {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char *data = nullptr;
        qint64 pid = -1;
        if (XGetWindowProperty(display, window, netWmPid, 0, 1, False, XA_CARDINAL, &type, &format,
                               &count, &after, &data) == Success &&
            data && format == 32 && count == 1)
            pid = qint64(*reinterpret_cast<unsigned long *>(data));
        if (data)
            XFree(data);
        return pid;
    }

    void key(KeySym symbol)
    {
        const KeyCode code = XKeysymToKeycode(display, symbol);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XSync(display, False);
    }
};

XDriver::XDriver(const QString &displayName) : d(std::make_unique<Private>())
{
    XSetErrorHandler(ignoreXError);
    d->display = XOpenDisplay(displayName.toLocal8Bit().constData());
    if (!d->display)
        return;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d->display, &event, &error, &major, &minor)) {
        XCloseDisplay(d->display);
        d->display = nullptr;
        return;
    }
    d->wmProtocols = XInternAtom(d->display, "WM_PROTOCOLS", False);
    d->wmDeleteWindow = XInternAtom(d->display, "WM_DELETE_WINDOW", False);
    d->netWmPid = XInternAtom(d->display, "_NET_WM_PID", False);
    d->netWmName = XInternAtom(d->display, "_NET_WM_NAME", False);
    d->utf8String = XInternAtom(d->display, "UTF8_STRING", False);
}

XDriver::~XDriver()
{
    if (d->display)
        XCloseDisplay(d->display);
}

bool XDriver::isOpen() const
{
    return d->display != nullptr;
}

XDriver::WindowId XDriver::waitForWindow(qint64 pid, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    do {
        Window root = 0, parent = 0;
        Window *children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (XQueryTree(d->display, DefaultRootWindow(d->display), &root, &parent, &children,
                       &count)) {
            for (unsigned int i = 0; i < count && !found; ++i) {
                XWindowAttributes attributes{};
                if (XGetWindowAttributes(d->display, children[i], &attributes) &&
                    attributes.map_state == IsViewable && d->windowPid(children[i]) == pid)
                    found = children[i];
            }
            if (children)
                XFree(children);
        }
        if (found)
            return found;
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return 0;
}

QString XDriver::title(WindowId window)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    QString text;
    if (XGetWindowProperty(d->display, window, d->netWmName, 0, 1024, False, d->utf8String, &type,
                           &format, &count, &after, &data) == Success &&
        data && format == 8)
        text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(count));
    if (data)
        XFree(data);
    return text;
}

QSize XDriver::clientSize(WindowId window)
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(d->display, window, &attributes))
        return {};
    return {attributes.width, attributes.height};
}

void XDriver::focus(WindowId window)
{
    XRaiseWindow(d->display, window);
    XSetInputFocus(d->display, window, RevertToParent, CurrentTime);
    // The focus change reaches the program before any key sent after it.
    XSync(d->display, False);
}

void XDriver::typeKeys(const QString &keys)
{
    for (QChar c : keys) {
        KeySym symbol = NoSymbol;
        if (c == u'\t')
            symbol = XK_Tab;
        else if (c == u' ')
            symbol = XK_space;
        else if (c >= u'0' && c <= u'9')
            symbol = XK_0 + (c.unicode() - u'0');
        else if (c >= u'a' && c <= u'z')
            symbol = XK_a + (c.unicode() - u'a');
        QVERIFY2(symbol != NoSymbol, qPrintable(QStringLiteral("no key for '%1'").arg(c)));
        d->key(symbol);
    }
}

void XDriver::tab(int times)
{
    for (int i = 0; i < times; ++i)
        d->key(XK_Tab);
}

bool XDriver::requestClose(WindowId window)
{
    Atom *protocols = nullptr;
    int count = 0;
    bool takesDelete = false;
    if (XGetWMProtocols(d->display, window, &protocols, &count)) {
        for (int i = 0; i < count; ++i)
            takesDelete = takesDelete || protocols[i] == d->wmDeleteWindow;
        XFree(protocols);
    }
    if (!takesDelete)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = d->wmProtocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(d->wmDeleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(d->display, window, False, NoEventMask, &event);
    XSync(d->display, False);
    return sent != 0;
}

QProcessEnvironment programEnvironment(const QString &display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : env.keys()) {
        if (name.startsWith(QStringLiteral("QT_")) || name == QStringLiteral("WAYLAND_DISPLAY"))
            env.remove(name);
    }
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

namespace {

QList<QPair<QString, QString>> sectionEntries(const QString &iniPath, const QString &section)
{
    QList<QPair<QString, QString>> entries;
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    bool inside = false;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            inside = line.mid(1, line.size() - 2).compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inside && equals > 0)
            entries.append({line.left(equals), line.mid(equals + 1)});
    }
    return entries;
}

} // namespace

QStringList sectionKeys(const QString &iniPath, const QString &section)
{
    QStringList keys;
    for (const auto &entry : sectionEntries(iniPath, section))
        keys << entry.first;
    return keys;
}

QString sectionValue(const QString &iniPath, const QString &section, const QString &key)
{
    for (const auto &entry : sectionEntries(iniPath, section)) {
        if (entry.first == key)
            return entry.second;
    }
    return {};
}

QString openSession(Xvfb &xvfb, std::unique_ptr<XDriver> &driver)
{
    if (const QString error = xvfb.start(); !error.isEmpty())
        return error;
    driver = std::make_unique<XDriver>(xvfb.display());
    return driver->isOpen() ? QString() : QStringLiteral("cannot drive ") + xvfb.display();
}

} // namespace ktb::test
