#include "app/errorreport.h"
#include "link/frames.h"
#include "link/vacomm.h"
#include "ptypair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <time.h>

using ktb::test::PtyPair;
using namespace std::chrono_literals;

namespace {

const QString portIsOpen = QStringLiteral("Can't perform this operation while port is open");
// Every byte value that a cooked line would eat or translate: NUL, LF, CR, XON, XOFF,
// DEL and 0xFF (the parity-mark escape).
const QByteArray specialBytes("\x00\x0a\x0d\x11\x13\x7f\xff", 7);

// Port 1 on the given device path, as a "[Ports] COM1=..." mapping would give it.
void useDevice(TVaComm &port, const QString &path)
{
    port.setDevicePathResolver(
        [path](const QString &name) { return name == QLatin1String("COM1") ? path : QString(); });
    port.setPortNum(1);
}

QString failureOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const EVaCommError &failure) {
        return QString::fromUtf8(failure.what());
    }
    return QStringLiteral("(no failure)");
}

QByteArray frameBytes(const ktb::Frame &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()));
}

// Waits for bytes to reach the port's receive queue while the thread handles no
// events, as during the send sequence's writes and pauses.
bool waitWithoutEvents(TVaComm &port, int count)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (port.WaitingCount() < count && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    return port.WaitingCount() == count;
}

// Handles events for a while without spinning itself, so that CPU time spent in
// the meantime is the link's.
void runEventsFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

std::chrono::nanoseconds processCpuTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

// Whether the tty's exclusive flag is set, asked through the fixture's own slave.
int exclusiveFlag(const PtyPair &pty)
{
    int exclusive = -1;
    ::ioctl(pty.slaveFd(), TIOCGEXCL, &exclusive);
    return exclusive;
}

// Leaves the line in a state no serial user wants, so that an open which inherits
// anything shows it.
void spoilLineSettings(const PtyPair &pty)
{
    termios tio{};
    QCOMPARE(::tcgetattr(pty.masterFd(), &tio), 0);
    tio.c_iflag = IXON | IXOFF | ICRNL | ISTRIP | INPCK;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    tio.c_cflag = CS7 | CSTOPB | CRTSCTS | HUPCL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 5;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    QCOMPARE(::tcsetattr(pty.masterFd(), TCSANOW, &tio), 0);
}

} // namespace

class TestVaComm : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QStringList reports_;

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QFile plain(dir_.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("not a serial port");
    }

    void init()
    {
        reports_.clear();
        ktb::setFailureReporter([this](const QString &text) { reports_ << text; });
    }

    void cleanup() { ktb::setFailureReporter({}); }

    void lineSettingsAsThePeerSeesThem()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm port;
        useDevice(port, pty.slavePath());

        // The second round is "Close, then Open on the same number".
        for (int round = 1; round <= 2; ++round) {
            spoilLineSettings(pty);
            port.Open();
            QVERIFY(port.Active());

            // On Linux the master reports the slave's settings.
            termios tio{};
            QCOMPARE(::tcgetattr(pty.masterFd(), &tio), 0);
            QCOMPARE(::cfgetispeed(&tio), speed_t(B19200));
            QCOMPARE(::cfgetospeed(&tio), speed_t(B19200));
            QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
            QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), tcflag_t(0));
            QCOMPARE(tio.c_cflag & (CREAD | CLOCAL), tcflag_t(CREAD | CLOCAL));
            QCOMPARE(tio.c_iflag, tcflag_t(0)); // no IXON/IXOFF, no translation, no stripping
            QCOMPARE(tio.c_oflag, tcflag_t(0));
            QCOMPARE(tio.c_lflag, tcflag_t(0));
            QCOMPARE(int(tio.c_cc[VMIN]), 0);
            QCOMPARE(int(tio.c_cc[VTIME]), 0);
            QCOMPARE(exclusiveFlag(pty), 1);

            port.Close();
            QVERIFY(!port.Active());
            // Left set, the flag would refuse the next non-root opener.
            QCOMPARE(exclusiveFlag(pty), 0);
        }
    }

    void bytesPassUnchangedBothWays()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm port;
        useDevice(port, pty.slavePath());
        port.Open();

        QVERIFY(port.WriteBytes(specialBytes));
        QVERIFY(port.WriteBytes(frameBytes(ktb::fixedFrame())));
        QCOMPARE(pty.readMaster(10, 5000), specialBytes + QByteArray("\x03\x00\x00", 3));

        QVERIFY(pty.writeMaster(specialBytes));
        QVERIFY(waitWithoutEvents(port, int(specialBytes.size())));
        QCOMPARE(port.ReadWaiting(), specialBytes);
    }

    void openFailures_data()
    {
        QTest::addColumn<int>("portNum");
        QTest::addColumn<QString>("path"); // what COM1 maps to
        QTest::addColumn<QString>("message");

        QTest::newRow("device path missing")
            << 1 << dir_.filePath(QStringLiteral("absent")) << "Specified device not found (COM1).";
        QTest::newRow("number with no mapping")
            << 3 << dir_.filePath(QStringLiteral("plain")) << "Specified device not found (COM3).";
        QTest::newRow("regular file") << 1 << dir_.filePath(QStringLiteral("plain"))
                                      << "Error writing dcb (25), Inappropriate ioctl for device";
        QTest::newRow("directory")
            << 1 << dir_.path() << "Can't open specified device COM1 (Error 21, Is a directory)";
    }

    void openFailures()
    {
        QFETCH(int, portNum);
        QFETCH(QString, path);
        QFETCH(QString, message);

        TVaComm port;
        useDevice(port, path);
        port.setPortNum(portNum);
        const int descriptors = openDescriptors();
        QCOMPARE(failureOf([&] { port.Open(); }), message);
        QVERIFY(!port.Active());
        QCOMPARE(openDescriptors(), descriptors);
        QCOMPARE(port.WaitingCount(), 0);
    }

    void com0HasNoDeviceByDefault()
    {
        TVaComm port; // no mapping: the built-in names
        QCOMPARE(port.DeviceName(), QStringLiteral("COM%d"));
        QCOMPARE(port.PortNum(), 0);
        QCOMPARE(failureOf([&] { port.Open(); }),
                 QStringLiteral("Specified device not found (COM0)."));
        QVERIFY(!port.Active());
    }

    void deviceHeldByAnotherLink()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm holder;
        TVaComm port;
        useDevice(holder, pty.slavePath());
        useDevice(port, pty.slavePath());

        holder.Open();
        QCOMPARE(
            failureOf([&] { port.Open(); }),
            QStringLiteral("Can't open specified device COM1 (Error 16, Device or resource busy)"));
        QVERIFY(!port.Active());
        QVERIFY(holder.WriteBytes(frameBytes(ktb::levelFrame(115))));
        QCOMPARE(pty.readMaster(3, 5000), QByteArray("\x02\x73\x00", 3));

        holder.Close();
        port.Open();
        QVERIFY(port.Active());
    }

    void openAndPortNumWhileOpen()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm port;
        useDevice(port, pty.slavePath());
        port.Open();

        QCOMPARE(failureOf([&] { port.Open(); }), portIsOpen);
        QCOMPARE(failureOf([&] { port.setPortNum(2); }), portIsOpen);
        QVERIFY(port.Active());
        QCOMPARE(port.PortNum(), 1);

        QVERIFY(port.WriteBytes(frameBytes(ktb::fixedFrame())));
        QCOMPARE(pty.readMaster(3, 5000), QByteArray("\x03\x00\x00", 3));
        QVERIFY(pty.writeMaster("\x42"));
        QVERIFY(waitWithoutEvents(port, 1));
        QCOMPARE(port.ReadWaiting(), QByteArray("\x42"));
    }

    void closedPort()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm port;
        useDevice(port, pty.slavePath());

        QVERIFY(!port.WriteBytes(frameBytes(ktb::fixedFrame()))); // never opened
        port.Open();
        port.Close();
        port.Close();
        QVERIFY(!port.Active());
        QVERIFY(!port.WriteBytes(frameBytes(ktb::fixedFrame())));
        QCOMPARE(pty.readMaster(1, 200), QByteArray());

        QVERIFY(pty.writeMaster("\x01\x02"));
        QCOMPARE(port.WaitingCount(), 0);
        QCOMPARE(port.ReadWaiting(), QByteArray());
    }

    void readWaitingTakesWhatIsThere()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm port;
        useDevice(port, pty.slavePath());
        port.Open();

        QCOMPARE(port.ReadWaiting(), QByteArray());
        const QByteArray five("\x00\x11\x13\x41\xff", 5);
        QVERIFY(pty.writeMaster(five));
        QVERIFY(waitWithoutEvents(port, 5));
        QCOMPARE(port.ReadWaiting(), five);
        QCOMPARE(port.ReadWaiting(), QByteArray());
    }

    void writeGivesUpWhenThePeerDoesNotRead()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm port;
        useDevice(port, pty.slavePath());
        port.Open();

        // Far more than a pseudo-terminal buffers, and nobody reads the master.
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!port.WriteBytes(QByteArray(1 << 20, 'x')));
        QVERIFY2(timer.elapsed() >= 1000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(port.Active());
    }

    void noNotificationWhileTheThreadIsBusy()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm port;
        useDevice(port, pty.slavePath());
        QList<int> counts;
        QByteArray received;
        QObject *sender = nullptr;
        port.OnRxChar = [&](QObject *from, int count) {
            sender = from;
            counts << count;
            received += port.ReadWaiting();
        };
        port.Open();

        QVERIFY(pty.writeMaster(QByteArray("\x01\x27\x10", 3)));
        QVERIFY(waitWithoutEvents(port, 3));
        QVERIFY(pty.writeMaster(QByteArray("\x02\x73\x00\x03", 4)));
        QVERIFY(waitWithoutEvents(port, 7));
        QCOMPARE(counts, QList<int>());

        QCoreApplication::processEvents(); // the send sequence's event drain
        QCOMPARE(counts, QList<int>{7});
        QCOMPARE(sender, &port);
        QCOMPARE(received, QByteArray("\x01\x27\x10\x02\x73\x00\x03", 7));

        runEventsFor(100ms);
        QCOMPARE(counts, QList<int>{7});
        QVERIFY(reports_.isEmpty());
    }

    void bytesPendingAtCloseRunNoHandler()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm port;
        useDevice(port, pty.slavePath());
        int calls = 0;
        port.OnRxChar = [&](QObject *, int) { ++calls; };
        port.Open();

        QVERIFY(pty.writeMaster("\x01\x02\x03"));
        QVERIFY(waitWithoutEvents(port, 3));
        port.Close();
        runEventsFor(100ms);
        QCOMPARE(calls, 0);

        port.Open(); // the bytes were discarded with the close
        QCOMPARE(port.WaitingCount(), 0);
        runEventsFor(50ms);
        QCOMPARE(calls, 0);
        QVERIFY(reports_.isEmpty());
    }

    void handlerFailureIsReported()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm port;
        useDevice(port, pty.slavePath());
        int calls = 0;
        port.OnRxChar = [&](QObject *, int) {
            ++calls;
            throw std::runtime_error("handler failed");
        };
        port.Open();

        QVERIFY(pty.writeMaster("\x01"));
        QTRY_COMPARE(reports_, QStringList{QStringLiteral("handler failed.")});
        // The byte it left unread does not run it again; the next arrival does.
        runEventsFor(100ms);
        QCOMPARE(calls, 1);
        QVERIFY(pty.writeMaster("\x02"));
        QTRY_COMPARE(calls, 2);
        QCOMPARE(reports_.size(), 2);
        QVERIFY(port.Active());
    }

    void peerGoneStopsWatching()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        TVaComm port;
        useDevice(port, pty.slavePath());
        int calls = 0;
        port.OnRxChar = [&](QObject *, int) { ++calls; };
        port.Open();

        pty.closeMaster();
        QElapsedTimer wall;
        wall.start();
        const auto cpuBefore = processCpuTime();
        runEventsFor(500ms);
        const auto cpu = processCpuTime() - cpuBefore;
        const auto elapsed = std::chrono::milliseconds(wall.elapsed());
        // A notifier left watching a hung-up line fires without pause and takes a core.
        QVERIFY2(cpu < elapsed / 5,
                 qPrintable(QStringLiteral("%1 ms CPU in %2 ms")
                                .arg(std::chrono::duration<double, std::milli>(cpu).count())
                                .arg(elapsed.count())));
        QCOMPARE(calls, 0);
        QCOMPARE(reports_, QStringList());

        QCOMPARE(failureOf([&] { port.WaitingCount(); }),
                 QStringLiteral("Error retrieving statistics (5), Input/output error"));
        QCOMPARE(failureOf([&] { port.WriteBytes(frameBytes(ktb::fixedFrame())); }),
                 QStringLiteral("Write error (5), Input/output error"));
        port.Close();
        QVERIFY(!port.Active());
    }

    void destroyingTheWindowReleasesTheDevice()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        auto *window = new QObject;
        auto *link = new TVaComm(window);
        useDevice(*link, pty.slavePath());
        link->Open();
        delete window;
        QCOMPARE(exclusiveFlag(pty), 0);

        TVaComm next;
        useDevice(next, pty.slavePath());
        next.Open();
        QVERIFY(next.Active());
    }
};

QTEST_GUILESS_MAIN(TestVaComm)
#include "test_vacomm.moc"
