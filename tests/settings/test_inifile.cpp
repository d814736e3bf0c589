#include "rawfile.h"
#include "settings/inifile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using ktb::test::readRaw;
using ktb::test::writeRaw;

const QString General = QStringLiteral("General");

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void constructionTouchesNothing();
    void roundTrip();
    void readInteger_data();
    void readInteger();
    void readBool_data();
    void readBool();
    void readStringSeesAtMost2047Characters();
    void everyCallReadsTheFileAfresh();
    void saveChangesOnlyItsFiveValues();
    void refusedWriteThrowsWithFullPath();
    void refusedWriteLeavesReadOnlyFileUnchanged();
};

void TestIniFile::constructionTouchesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    const TIniFile ini(path);
    QCOMPARE(ini.FileName(), path);
    QCOMPARE(ini.ReadInteger(General, "Frequency", 100000), 100000);
    QVERIFY(!QFile::exists(path));
}

void TestIniFile::roundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    {
        TIniFile ini(path);
        ini.WriteInteger(General, "Frequency", 100000);
        ini.WriteInteger(General, "Level", 115);
        ini.WriteInteger(General, "Preemphasis", 0);
        ini.WriteInteger(General, "PortNum", -1);
        ini.WriteBool(General, "Send", false);
        ini.WriteString("Notes", QString::fromUtf8("Stra\u00dfe"),
                        QString::fromUtf8("gr\u00fc\u00df"));
    }
    QCOMPARE(readRaw(path), QByteArray("[General]\nFrequency=100000\nLevel=115\nPreemphasis=0\n"
                                       "PortNum=-1\nSend=0\n[Notes]\nStra\xc3\x9f"
                                       "e=gr\xc3\xbc\xc3\x9f\n"));

    const TIniFile ini(path);
    QCOMPARE(ini.ReadInteger(General, "Frequency", 0), 100000);
    QCOMPARE(ini.ReadInteger("GENERAL", "portnum", 0), -1);
    QCOMPARE(ini.ReadBool(General, "Send", true), false);
    QCOMPARE(ini.ReadString("Notes", QString::fromUtf8("Stra\u00dfe"), "x"),
             QString::fromUtf8("gr\u00fc\u00df"));
}

void TestIniFile::readInteger_data()
{
    QTest::addColumn<QByteArray>("content"); // "<none>": no file at all
    QTest::addColumn<int>("expected");
    QTest::newRow("missing file") << QByteArray("<none>") << 100000;
    QTest::newRow("missing section") << QByteArray("[Other]\nFrequency=5\n") << 100000;
    QTest::newRow("missing key") << QByteArray("[General]\nLevel=5\n") << 100000;
    QTest::newRow("empty value") << QByteArray("[General]\nFrequency=\n") << 100000;
    QTest::newRow("not an integer") << QByteArray("[General]\nFrequency=1e5\n") << 100000;
    QTest::newRow("too large is not clamped")
        << QByteArray("[General]\nFrequency=99999999999\n") << 100000;
    QTest::newRow("out of control range kept")
        << QByteArray("[General]\nFrequency=50000\n") << 50000;
    QTest::newRow("hex") << QByteArray("[General]\nFrequency=$186A0\n") << 100000;
    QTest::newRow("quoted") << QByteArray("[General]\nFrequency=\"98500\"\n") << 98500;
    QTest::newRow("negative") << QByteArray("[General]\nFrequency=-1\n") << -1;
}

void TestIniFile::readInteger()
{
    QFETCH(QByteArray, content);
    QFETCH(int, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    if (content != "<none>")
        writeRaw(path, content);
    QCOMPARE(TIniFile(path).ReadInteger(General, "Frequency", 100000), expected);
}

void TestIniFile::readBool_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");
    QTest::newRow("1") << QByteArray("1") << false << true;
    QTest::newRow("2") << QByteArray("2") << false << true;
    QTest::newRow("-1") << QByteArray("-1") << false << true;
    QTest::newRow("0x1") << QByteArray("0x1") << false << true;
    QTest::newRow("0") << QByteArray("0") << true << false;
    QTest::newRow("empty, default false") << QByteArray() << false << false;
    QTest::newRow("empty, default true") << QByteArray() << true << true;
    QTest::newRow("word true, default false") << QByteArray("true") << false << false;
    // Not an integer, so the default decides, whatever the word says.
    QTest::newRow("word false, default true") << QByteArray("false") << true << true;
}

void TestIniFile::readBool()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    writeRaw(path, "[General]\r\nSend=" + value + "\r\n");
    QCOMPARE(TIniFile(path).ReadBool(General, "Send", defaultValue), expected);
}

void TestIniFile::readStringSeesAtMost2047Characters()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    const QByteArray digits = QByteArray(2047, '1');
    writeRaw(path, "[General]\nExact=" + digits + "\nLong=" + digits +
                       "23\nPadded=" + QByteArray(2046, ' ') + "7\n");
    const TIniFile ini(path);
    QCOMPARE(ini.ReadString(General, "Exact", "d"), QString::fromLatin1(digits));
    QCOMPARE(ini.ReadString(General, "Long", "d"), QString::fromLatin1(digits));
    // Blanks are trimmed before the cut, so they do not eat into the buffer.
    QCOMPARE(ini.ReadInteger(General, "Padded", 0), 7);
}

void TestIniFile::everyCallReadsTheFileAfresh()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    TIniFile reader(path);
    TIniFile writer(path);
    QCOMPARE(reader.ReadInteger(General, "Level", 115), 115);
    writer.WriteInteger(General, "Level", 100);
    QCOMPARE(reader.ReadInteger(General, "Level", 115), 100);
    writeRaw(path, "[General]\nLevel=90\nTheme=dark\n");
    QCOMPARE(reader.ReadInteger(General, "Level", 115), 90);
    // A write starts from the file as it is now, not from an earlier copy.
    writer.WriteInteger(General, "Level", 95);
    QCOMPARE(readRaw(path), QByteArray("[General]\nLevel=95\nTheme=dark\n"));
}

void TestIniFile::saveChangesOnlyItsFiveValues()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    writeRaw(path, "; ktbctl settings, shared by everyone on this machine\r\n"
                   "; Stra\xdf"
                   "e (a Latin-1 byte, not UTF-8)\r\n"
                   "\r\n"
                   "[General]\r\n"
                   "Frequency=98500\r\n"
                   "Level = 115\r\n"
                   "; keep the level low near the studio\r\n"
                   "Theme=dark\r\n"
                   "Preemphasis=1\r\n"
                   "PortNum=0\r\n"
                   "\r\n"
                   "[Ports]\r\n"
                   "COM1=/dev/ttyUSB0\r\n"
                   "COM2=/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0\r\n");
    {
        TIniFile ini(path);
        ini.WriteInteger(General, "Frequency", 100000);
        ini.WriteInteger(General, "Level", 120);
        ini.WriteInteger(General, "Preemphasis", 2);
        ini.WriteInteger(General, "PortNum", -1);
        ini.WriteBool(General, "Send", true);
    }
    QCOMPARE(readRaw(path),
             QByteArray("; ktbctl settings, shared by everyone on this machine\r\n"
                        "; Stra\xdf"
                        "e (a Latin-1 byte, not UTF-8)\r\n"
                        "\r\n"
                        "[General]\r\n"
                        "Frequency=100000\r\n"
                        "Level = 120\r\n"
                        "; keep the level low near the studio\r\n"
                        "Theme=dark\r\n"
                        "Preemphasis=2\r\n"
                        "PortNum=-1\r\n"
                        "Send=1\r\n"
                        "\r\n"
                        "[Ports]\r\n"
                        "COM1=/dev/ttyUSB0\r\n"
                        "COM2=/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0\r\n"));
    QCOMPARE(TIniFile(path).ReadString("Ports", "COM1", ""), QString("/dev/ttyUSB0"));
}

void TestIniFile::refusedWriteThrowsWithFullPath()
{
    // A directory where the file should be stops root too.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    QVERIFY(QDir(dir.path()).mkdir("ktbctl.ini"));
    writeRaw(path + "/keep", "unchanged");

    TIniFile ini(path);
    try {
        ini.WriteInteger(General, "Frequency", 100000);
        QFAIL("the write did not throw");
    } catch (const EIniFileException &e) {
        QCOMPARE(QString::fromUtf8(e.what()), "Unable to write to " + path);
    }
    QVERIFY(QFileInfo(path).isDir());
    QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"keep"});
    QCOMPARE(readRaw(path + "/keep"), QByteArray("unchanged"));
    QVERIFY_THROWS_EXCEPTION(EIniFileException, ini.WriteBool(General, "Send", true));
    QVERIFY_THROWS_EXCEPTION(EIniFileException, ini.WriteString(General, "A", "b"));
}

void TestIniFile::refusedWriteLeavesReadOnlyFileUnchanged()
{
    if (::geteuid() == 0)
        QSKIP("permission bits do not stop root; refusedWriteThrowsWithFullPath covers this");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString roDir = dir.filePath("ro");
    QVERIFY(QDir(dir.path()).mkdir("ro"));
    const QString path = roDir + QString::fromUtf8("/\u00e9t\u00e9/ktbctl.ini");
    QVERIFY(QDir(roDir).mkdir(QString::fromUtf8("\u00e9t\u00e9")));
    const QByteArray old = "[General]\r\nFrequency=98500\r\nLevel=100\r\n";
    writeRaw(path, old);
    const QByteArray parent = QFile::encodeName(QFileInfo(path).absolutePath());
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    QVERIFY(::chmod(parent.constData(), 0555) == 0);

    QString message;
    try {
        TIniFile(path).WriteInteger(General, "Frequency", 100000);
    } catch (const EIniFileException &e) {
        message = QString::fromUtf8(e.what());
    }
    ::chmod(parent.constData(), 0755);
    QCOMPARE(message, "Unable to write to " + path);
    QCOMPARE(readRaw(path), old);
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
