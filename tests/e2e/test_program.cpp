// The real program, started headless from a folder of its own, against the
// simulated module: the start-up send, what a missing device and a vanishing
// peer do to it, odd settings files, and that SIGTERM ends it without a save.

#include "e2eprocess.h"
#include "rawfile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace ktb::e2e;

namespace {

using ktb::test::bytes;
using ktb::test::entries;

// The 24 bytes of one send sequence, worked out from the wire format: frequency
// in 10 kHz units big-endian, level in the first data byte, the fixed frame,
// pre-emphasis index in the second data byte; the pass goes out twice.
QByteArray expectedSequence(int kHz, int dBuV, int preemphasis)
{
    const int f = kHz / 10;
    const char pass[] = {0x01, char(f >> 8), char(f & 0xFF), 0x02, char(dBuV), 0x00,
                         0x03, 0x00,         0x00,           0x04, 0x00,       char(preemphasis)};
    return QByteArray(pass, sizeof pass).repeated(2);
}

// The frames of the simulator's log ("<micros> HH HH HH" per frame) as bytes.
QByteArray loggedBytes(const QString &logPath)
{
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(' ');
        for (qsizetype i = 1; i < fields.size(); ++i)
            bytes += QByteArray::fromHex(fields[i]);
    }
    return bytes;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray iniText(const QByteArray &general, const QString &com1, const QByteArray &eol = "\n")
{
    QByteArray text = "[General]\n" + general + "[Ports]\nCOM1=" + QFile::encodeName(com1) + "\n";
    return text.replace("\n", eol);
}

} // namespace

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void startupSendPutsEveryByteOnTheLine_data();
    void startupSendPutsEveryByteOnTheLine();
    void missingDeviceIsReportedAndProgramRuns();
    void peerVanishingMidSequenceIsReportedWithoutSpinning();
    void oddSettingsFiles_data();
    void oddSettingsFiles();
};

// Runs the program until it has sent a sequence and ends it with SIGTERM, from a
// settings file in several spellings. The file must come through byte for byte:
// ending the program without closing the window saves nothing. Values spelled
// otherwise than a save writes them (hex, leading zeros, quotes, Send=2) make any
// save visible, even one of unchanged values.
void TestProgram::startupSendPutsEveryByteOnTheLine_data()
{
    QTest::addColumn<QByteArray>("general");
    QTest::addColumn<QByteArray>("eol");
    QTest::addColumn<int>("kHz");
    QTest::addColumn<int>("dBuV");
    QTest::addColumn<int>("preemphasis");
    QTest::addColumn<int>("portNum");

    QTest::newRow("plain values, LF")
        << QByteArray("Frequency=100000\nLevel=115\nPreemphasis=0\nPortNum=0\n"
                      "; operator's note: keep this line\nSend=1\n")
        << QByteArray("\n") << 100000 << 115 << 0 << 0;
    QTest::newRow("lower band edge, CRLF, leading zero and quotes")
        << QByteArray("Frequency = 076000\nLevel=\"88\"\nPreemphasis=2\nPortNum=0\nSend=2\n")
        << QByteArray("\r\n") << 76000 << 88 << 2 << 0;
    QTest::newRow("upper band edge in hex, COM9")
        << QByteArray("Frequency=$1A5E0\nLevel=x78\nPreemphasis=1\nPortNum=8\nSend=1\n")
        << QByteArray("\n") << 108000 << 120 << 1 << 8;
}

void TestProgram::startupSendPutsEveryByteOnTheLine()
{
    QFETCH(QByteArray, general);
    QFETCH(QByteArray, eol);
    QFETCH(int, kHz);
    QFETCH(int, dBuV);
    QFETCH(int, preemphasis);
    QFETCH(int, portNum);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString link = root.filePath("ttyKTB");
    const QString log = root.filePath("frames.log");
    Child sim;
    QVERIFY(startSimulator(sim, link, {"--log", log}));

    ProgramCopy copy(root.path());
    QVERIFY(copy.copied);
    // The chosen port maps to the simulator; COM1 to nothing when another is chosen.
    QByteArray ini = iniText(general, portNum == 0 ? link : root.filePath("nothing-here"), eol);
    if (portNum != 0)
        ini += QStringLiteral("COM%1=%2").arg(portNum + 1).arg(link).toUtf8() + eol;
    QVERIFY(copy.writeIni(ini));

    Child program;
    QVERIFY(copy.start(program));
    const QStringList decoded = sim.out.next(8);
    QCOMPARE(decoded.size(), 8);
    QCOMPARE(decoded.first(), QStringLiteral("frequency %1 kHz").arg(kHz));
    QCOMPARE(decoded.at(1), QStringLiteral("level %1 dBuV").arg(dBuV));
    QCOMPARE(loggedBytes(log).toHex(' '), expectedSequence(kHz, dBuV, preemphasis).toHex(' '));

    // Nothing more follows the sequence, and nothing went wrong on the way.
    QVERIFY(!program.process.waitForFinished(300));
    QCOMPARE(sim.out.next(1, 200), QStringList());
    QCOMPARE(program.err.rest(), QByteArray());

    const pid_t pid = program.pid();
    QVERIFY(program.kill(SIGTERM));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
    QCOMPARE(readAll(copy.ini), ini);
    QCOMPARE(entries(copy.dir), QStringList({"ktbctl", "ktbctl.ini"}));
    QCOMPARE(entries(copy.home), QStringList());
}

void TestProgram::missingDeviceIsReportedAndProgramRuns()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    ProgramCopy copy(root.path());
    QVERIFY(copy.copied);
    const QByteArray ini = iniText("Send=1\n", root.filePath("no-such-dir/ttyKTB"));
    QVERIFY(copy.writeIni(ini));

    Child program;
    QVERIFY(copy.start(program));
    const QStringList lines = program.err.next(1);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains("Specified device not found (COM1)."),
             qPrintable(lines.first()));

    // Still running after a moment, with nothing more to say.
    QVERIFY(!program.process.waitForFinished(1000));
    QCOMPARE(program.err.rest(), QByteArray());
    QVERIFY(program.kill(SIGTERM));
    QCOMPARE(readAll(copy.ini), ini);
}

// The module goes away between two frames. The write that finds the line gone
// fails the sequence; the program reports it and goes back to waiting, and does
// not spin on the dead line.
void TestProgram::peerVanishingMidSequenceIsReportedWithoutSpinning()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString link = root.filePath("ttyKTB");
    Child sim;
    QVERIFY(startSimulator(sim, link));

    ProgramCopy copy(root.path());
    QVERIFY(copy.copied);
    QVERIFY(copy.writeIni(iniText("Send=1\n", link)));

    Child program;
    QVERIFY(copy.start(program));
    QCOMPARE(sim.out.next(1), QStringList{"frequency 100000 kHz"});
    QVERIFY(sim.kill(SIGKILL));

    const QStringList lines = program.err.next(1);
    QCOMPARE(lines.size(), 1);
    // The next frame's write finds the line gone.
    QVERIFY2(lines.first().startsWith("ktbctl: Write error"), qPrintable(lines.first()));
    QVERIFY(program.running());

    const auto before = cpuSeconds(program.pid());
    QVERIFY(before);
    QTest::qSleep(1000);
    const auto after = cpuSeconds(program.pid());
    QVERIFY(after);
    qInfo("%.2f s of CPU in the second after the failure", *after - *before);
    QVERIFY2(*after - *before < 0.2, "the program is busy when it should wait");
    QVERIFY(program.running());
    QCOMPARE(program.err.rest(), QByteArray());
}

// Settings files that no editor would write. Where the file can carry Send=1 the
// start-up send shows what the program read; every row must leave the program
// running and idle, and the file as it was.
void TestProgram::oddSettingsFiles_data()
{
    QTest::addColumn<QByteArray>("content");    // "@PORT@" stands for the device path
    QTest::addColumn<QString>("symlinkTarget"); // when set, ktbctl.ini is this dangling link
    QTest::addColumn<QStringList>("decoded");   // the first pass; empty when nothing is sent

    QRandomGenerator random(7840);
    QByteArray noise(1 << 20, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    const QStringList defaults = {"frequency 100000 kHz", "level 115 dBuV", "fixed",
                                  "pre-emphasis 75 us (US)"};

    QTest::newRow("1 MiB of random bytes") << noise << QString() << QStringList();
    QTest::newRow("1 MiB of random bytes before the sections")
        << noise + "\r\n[General]\r\nSend=1\r\n[Ports]\r\nCOM1=@PORT@\r\n"
        << QString() << defaults;
    QTest::newRow("100000-character frequency")
        << "[General]\nFrequency=" + QByteArray(100000, '9') +
               "\nLevel=100\nSend=1\n"
               "[Ports]\nCOM1=@PORT@\n"
        << QString()
        << QStringList{"frequency 100000 kHz", "level 100 dBuV", "fixed",
                       "pre-emphasis 75 us (US)"};
    QTest::newRow("NUL bytes around the keys")
        << bytes("\0\0\0\n[General]\n\0\0\0\n;\0note\nJunk=\0\0\nFrequency=98500\nLevel=101\n"
                 "Preemphasis=1\nSend=1\n[Ot\0her]\nX=\0\n[Ports]\n\0\0=\0\nCOM1=@PORT@\n")
        << QString()
        << QStringList{"frequency 98500 kHz", "level 101 dBuV", "fixed",
                       "pre-emphasis 50 us (EU, JP)"};
    QTest::newRow("dangling symlink")
        << QByteArray() << QStringLiteral("missing.ini") << QStringList();
}

void TestProgram::oddSettingsFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, symlinkTarget);
    QFETCH(QStringList, decoded);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString link = root.filePath("ttyKTB");
    Child sim;
    QVERIFY(startSimulator(sim, link));

    ProgramCopy copy(root.path());
    QVERIFY(copy.copied);
    content.replace("@PORT@", QFile::encodeName(link));
    if (symlinkTarget.isEmpty())
        QVERIFY(copy.writeIni(content));
    else
        QVERIFY(QFile::link(symlinkTarget, copy.ini));
    const QStringList before = entries(copy.dir);

    Child program;
    QVERIFY(copy.start(program));
    if (!decoded.isEmpty())
        QCOMPARE(sim.out.next(8), decoded + decoded);
    // Give a start-up that reads the file slowly, or not at all, the time to show.
    QVERIFY(!program.process.waitForFinished(1000));
    const auto cpuBefore = cpuSeconds(program.pid());
    QVERIFY(cpuBefore);
    QTest::qSleep(500);
    const auto cpuAfter = cpuSeconds(program.pid());
    QVERIFY(cpuAfter);
    QVERIFY2(*cpuAfter - *cpuBefore < 0.2, "the program is busy when it should wait");
    QCOMPARE(program.err.rest(), QByteArray());
    QCOMPARE(sim.out.next(1, 100), QStringList());

    QVERIFY(program.kill(SIGTERM));
    QCOMPARE(entries(copy.dir), before);
    if (symlinkTarget.isEmpty())
        QVERIFY(readAll(copy.ini) == content);
    else
        QCOMPARE(QFileInfo(copy.ini).symLinkTarget(), QDir(copy.dir).filePath(symlinkTarget));
}

QTEST_GUILESS_MAIN(TestProgram)
#include "test_program.moc"
