// End-to-end tests of the built simulator: it is started as a process and talked to
// through its device exactly as the program opens a port.

#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Generous: only ever waited for, never asserted as a bound.
constexpr int waitMs = 10000;

const QByteArray onePass = QByteArray::fromHex("012710027300030000040000");
const QStringList onePassLines = {"frequency 100000 kHz", "level 115 dBuV", "fixed",
                                  "pre-emphasis 75 us (US)"};

class Simulator
{
public:
    ~Simulator()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(waitMs);
        }
    }

    // Starts ktbsim and waits for its ready line, which it returns (empty on failure).
    QString start(const QStringList &args)
    {
        process.start(QStringLiteral(KTBSIM_PATH), args);
        if (!process.waitForStarted(waitMs))
            return {};
        const QStringList ready = lines(1);
        return ready.isEmpty() ? QString() : ready.first();
    }

    // Waits for the next count lines of standard output; fewer if it times out.
    QStringList lines(int count)
    {
        QDeadlineTimer deadline(waitMs);
        QStringList result;
        while (result.size() < count) {
            const int newline = pending.indexOf('\n');
            if (newline >= 0) {
                result << QString::fromUtf8(pending.left(newline));
                pending.remove(0, newline + 1);
                continue;
            }
            if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
                break;
            process.waitForReadyRead(int(deadline.remainingTime()));
            pending += process.readAllStandardOutput();
        }
        return result;
    }

    bool terminate()
    {
        process.terminate(); // SIGTERM
        return process.waitForFinished(waitMs);
    }

    QProcess process;
    QByteArray pending;
};

// Opens the device the way the program's serial link does.
int openDevice(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

// Reads until count bytes have arrived, or until the descriptor stays silent for
// timeoutMs (then returns what it has, so a comparison shows what was missing).
QByteArray readBytes(int fd, int count, int timeoutMs = waitMs)
{
    QByteArray result;
    pollfd pfd{fd, POLLIN, 0};
    while (result.size() < count && ::poll(&pfd, 1, timeoutMs) > 0) {
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            result.append(buffer, n);
        else if (n == 0 || errno != EAGAIN)
            break;
    }
    return result;
}

// The frames of one pass, each written on its own as the program does.
bool writePass(int fd)
{
    for (int i = 0; i < onePass.size(); i += 3)
        if (!writeAll(fd, onePass.mid(i, 3)))
            return false;
    return true;
}

bool isSymlink(const QString &path)
{
    struct stat st
    {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace

class TestKtbsimRun : public QObject
{
    Q_OBJECT

private slots:
    void twoPassesEchoLogReopenAndTerminate();
    void replyModes_data();
    void replyModes();
    void unreadReplyIsGoneAfterReopen();
    void deviceIsRawUntilTheProgramConfiguresIt();
    void partialFrameIsDroppedAfterSilence();
    void staleSymlinkIsReplaced();
    void regularFileAtLinkIsRefused();
    void badArguments_data();
    void badArguments();
    void help();
};

void TestKtbsimRun::twoPassesEchoLogReopenAndTerminate()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("ttyKTB");
    const QString log = dir.filePath("frames.log");

    Simulator sim;
    const QString ready = sim.start({"--link", link, "--log", log});
    QVERIFY2(!ready.isEmpty(), qPrintable(sim.process.readAllStandardError()));
    const QString device = QFileInfo(link).symLinkTarget();
    QVERIFY(device.startsWith("/dev/pts/"));
    QCOMPARE(ready, QString("ktbsim: listening on %1 (link %2)").arg(device, link));

    int fd = openDevice(link);
    QVERIFY(fd >= 0);
    QVERIFY(writePass(fd));
    QVERIFY(writePass(fd));
    QCOMPARE(readBytes(fd, 24), onePass + onePass);
    QCOMPARE(sim.lines(8), onePassLines + onePassLines);

    // Log lines are written before the decoded lines, so all eight are there now.
    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> logLines = logFile.readAll().split('\n');
    QCOMPARE(logLines.size(), 9);
    QVERIFY(logLines.last().isEmpty());
    qint64 previous = 0;
    for (int i = 0; i < 8; ++i) {
        const QByteArray &line = logLines[i];
        const int space = line.indexOf(' ');
        bool ok = false;
        const qint64 micros = line.left(space).toLongLong(&ok);
        QVERIFY2(ok && micros > 0, line.constData());
        QVERIFY2(micros >= previous, line.constData());
        previous = micros;
        QCOMPARE(line.mid(space + 1), onePass.mid(i % 4 * 3, 3).toHex(' ').toUpper());
    }

    // The program opens the port for each send: a close must not end the session.
    QCOMPARE(::close(fd), 0);
    fd = openDevice(link);
    QVERIFY(fd >= 0);
    QVERIFY(writeAll(fd, QByteArray::fromHex("025800")));
    QCOMPARE(readBytes(fd, 3), QByteArray::fromHex("025800"));
    QCOMPARE(sim.lines(1), QStringList{"level 88 dBuV"});
    ::close(fd);

    QVERIFY(sim.terminate());
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!isSymlink(link));
}

void TestKtbsimRun::replyModes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("default echo") << QStringList{} << onePass;
    QTest::newRow("explicit echo") << QStringList{"--reply", "echo"} << onePass;
    QTest::newRow("none") << QStringList{"--reply", "none"} << QByteArray();
    QTest::newRow("ack 06") << QStringList{"--reply", "ack:06"} << QByteArray::fromHex("06060606");
    QTest::newRow("ack zero byte") << QStringList{"--reply=ack:00"} << QByteArray(4, '\0');
    QTest::newRow("hex 06A5") << QStringList{"--reply", "hex:06A5"}
                              << QByteArray::fromHex("06A506A506A506A5");
}

void TestKtbsimRun::replyModes()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("ttyKTB");

    Simulator sim;
    QVERIFY(!sim.start(args + QStringList{"--link", link}).isEmpty());
    const int fd = openDevice(link);
    QVERIFY(fd >= 0);
    QVERIFY(writePass(fd));
    QCOMPARE(sim.lines(4), onePassLines);
    // Replies are queued before the decoded lines, so after the last line only a
    // wrong extra reply could still arrive; a short silence shows there is none.
    QCOMPARE(readBytes(fd, int(expected.size()) + 1, expected.isEmpty() ? 200 : 500), expected);
    ::close(fd);
    QVERIFY(sim.terminate());
    QCOMPARE(sim.process.exitCode(), 0);
}

void TestKtbsimRun::unreadReplyIsGoneAfterReopen()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("ttyKTB");
    Simulator sim;
    QVERIFY(!sim.start({"--link", link}).isEmpty());

    int fd = openDevice(link);
    QVERIFY(fd >= 0);
    QVERIFY(writeAll(fd, QByteArray::fromHex("040001")));
    QCOMPARE(sim.lines(1), QStringList{"pre-emphasis 50 us (EU, JP)"});
    ::close(fd); // its echo is never read, like a reply that comes after the program closed

    fd = openDevice(link);
    QVERIFY(fd >= 0);
    QVERIFY(writeAll(fd, QByteArray::fromHex("040002")));
    QCOMPARE(sim.lines(1), QStringList{"pre-emphasis none"});
    QCOMPARE(readBytes(fd, 4, 500), QByteArray::fromHex("040002"));
    ::close(fd);
}

void TestKtbsimRun::deviceIsRawUntilTheProgramConfiguresIt()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("ttyKTB");
    Simulator sim;
    QVERIFY(!sim.start({"--link", link}).isEmpty());

    // Opened without touching its settings: a cooked device would turn LF into CR LF
    // on the way out and CR into LF on the way in, and echo the reply back to the
    // simulator as a second frame.
    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios tio{};
    QCOMPARE(::tcgetattr(fd, &tio), 0);
    QCOMPARE(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(tio.c_iflag & (ICRNL | IXON | ISTRIP), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));

    const QByteArray frame = QByteArray::fromHex("010D0A");
    QVERIFY(writeAll(fd, frame));
    QCOMPARE(sim.lines(1), QStringList{"frequency 33380 kHz"});
    QCOMPARE(readBytes(fd, 4, 500), frame);
    ::close(fd);
    QVERIFY(sim.terminate());
    // No line for a reply echoed back as if it were a frame.
    QCOMPARE(sim.pending + sim.process.readAllStandardOutput(), QByteArray());
}

void TestKtbsimRun::partialFrameIsDroppedAfterSilence()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("ttyKTB");
    const QString log = dir.filePath("frames.log");
    Simulator sim;
    QVERIFY(!sim.start({"--link", link, "--log", log}).isEmpty());

    const int fd = openDevice(link);
    QVERIFY(fd >= 0);
    QVERIFY(writeAll(fd, QByteArray::fromHex("0501")));
    QCOMPARE(sim.lines(1), QStringList{"raw 05 01"});
    // The next byte starts a new frame instead of completing the stale one.
    QVERIFY(writeAll(fd, QByteArray::fromHex("030000")));
    QCOMPARE(sim.lines(1), QStringList{"fixed"});
    QCOMPARE(readBytes(fd, 4, 500), QByteArray::fromHex("030000"));
    ::close(fd);

    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QByteArray text = logFile.readAll();
    QCOMPARE(text.count('\n'), 1);
    QVERIFY(text.endsWith(" 03 00 00\n"));
}

void TestKtbsimRun::staleSymlinkIsReplaced()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("ttyKTB");
    QVERIFY(QFile::link(dir.filePath("gone"), link));

    Simulator sim;
    QVERIFY(!sim.start({"--link", link}).isEmpty());
    QVERIFY(QFileInfo(link).symLinkTarget().startsWith("/dev/pts/"));
    const int fd = openDevice(link);
    QVERIFY(fd >= 0);
    ::close(fd);

    QVERIFY(sim.terminate());
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!isSymlink(link));
}

void TestKtbsimRun::regularFileAtLinkIsRefused()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ttyKTB");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();

    QProcess process;
    process.start(QStringLiteral(KTBSIM_PATH), {"--link", path});
    QVERIFY(process.waitForFinished(waitMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(process.readAllStandardError().contains(QFile::encodeName(path)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void TestKtbsimRun::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown option") << QStringList{"--baud", "9600"};
    QTest::newRow("missing value") << QStringList{"--log"};
    QTest::newRow("bad reply") << QStringList{"--reply", "ack:XYZ"};
}

void TestKtbsimRun::badArguments()
{
    QFETCH(QStringList, args);
    QProcess process;
    process.start(QStringLiteral(KTBSIM_PATH), args);
    QVERIFY(process.waitForFinished(waitMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(process.readAllStandardError().contains("usage: ktbsim"));
}

void TestKtbsimRun::help()
{
    QProcess process;
    process.start(QStringLiteral(KTBSIM_PATH), {"--help"});
    QVERIFY(process.waitForFinished(waitMs));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY(out.startsWith("usage: ktbsim"));
    QVERIFY(out.contains("hex:HEXBYTES"));
}

QTEST_GUILESS_MAIN(TestKtbsimRun)
#include "tst_ktbsimrun.moc"
