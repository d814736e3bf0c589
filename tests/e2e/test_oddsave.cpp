// The save of the five choices into settings files that no editor would write:
// every byte that is not one of the five values comes through, and a path that
// cannot be written is refused with the settings error and left as it was.
// (The program saves when its window is closed, which needs a window system;
// the save goes through TIniFile exactly as here.)

#include "rawfile.h"
#include "settings/inifile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using ktb::test::bytes;
using ktb::test::entries;

const QString general = QStringLiteral("General");

// What the window saves: Frequency, Level, Preemphasis, PortNum and Send.
void saveFive(TIniFile &ini)
{
    ini.WriteInteger(general, "Frequency", 98000);
    ini.WriteInteger(general, "Level", 100);
    ini.WriteInteger(general, "Preemphasis", 1);
    ini.WriteInteger(general, "PortNum", 2);
    ini.WriteBool(general, "Send", false);
}
const QList<QByteArray> savedValues = {"98000", "100", "1", "2", "0"};

// A file with @1@ to @5@ where the five values stand.
QByteArray fill(QByteArray layout, const QList<QByteArray> &values)
{
    for (qsizetype i = 0; i < values.size(); ++i)
        layout.replace("@" + QByteArray::number(i + 1) + "@", values[i]);
    return layout;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The section that a save appends to a file without one: a line break first when
// the file does not end in one, and the file's own line breaks (its first one
// decides; a lone CR is not CRLF).
QByteArray appendedSection(const QByteArray &file)
{
    const qsizetype first = file.indexOf('\n') < 0 ? file.indexOf('\r')
                            : file.indexOf('\r') < 0
                                ? file.indexOf('\n')
                                : std::min(file.indexOf('\n'), file.indexOf('\r'));
    const QByteArray eol = first >= 0 && file.mid(first, 2) == "\r\n" ? "\r\n" : "\n";
    QByteArray tail = file.endsWith('\n') || file.endsWith('\r') || file.isEmpty() ? "" : eol;
    tail += "[General]" + eol;
    const char *keys[] = {"Frequency", "Level", "Preemphasis", "PortNum", "Send"};
    for (int i = 0; i < 5; ++i)
        tail += keys[i] + QByteArray("=") + savedValues[i] + eol;
    return tail;
}

} // namespace

class TestOddSave : public QObject
{
    Q_OBJECT

private slots:
    void saveKeepsEveryByteItDoesNotOwn_data();
    void saveKeepsEveryByteItDoesNotOwn();
    void saveIntoDanglingSymlinkCreatesItsTarget();
    void unwritablePathIsRefusedAndLeftAsItWas_data();
    void unwritablePathIsRefusedAndLeftAsItWas();
};

void TestOddSave::saveKeepsEveryByteItDoesNotOwn_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    const QList<QByteArray> old = {"100000", "115", "0", "0", "1"};
    QRandomGenerator random(7840);
    QByteArray noise(1 << 20, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    // Only the keys' own bytes may change; a random file that happened to hold a
    // [General] header would make this row meaningless.
    QVERIFY(!noise.toLower().contains("[general"));

    QTest::newRow("1 MiB of random bytes") << noise << noise + appendedSection(noise);

    const QByteArray longValue = "[General]\r\nFrequency=@1@\r\nLevel=@2@\r\nPreemphasis=@3@\r\n"
                                 "PortNum=@4@\r\nSend=@5@\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n";
    QTest::newRow("100000-character frequency")
        << fill(longValue, {QByteArray(100000, '9'), "115", "0", "0", "1"})
        << fill(longValue, savedValues);

    const QByteArray nul = bytes("\0\0\0\n[General]\nFrequency=@1@\n\0\0\0\nLevel = @2@\n;\0note\n"
                                 "Preemphasis=@3@\nJunk=\0\0\nPortNum=@4@\nSend=@5@\n[Ot\0her]\n"
                                 "\0=\0\n");
    QTest::newRow("NUL bytes around the keys") << fill(nul, old) << fill(nul, savedValues);
    QTest::newRow("NUL bytes in a value")
        << fill(nul, {"100000", "115", "0", "0", bytes("1\0\0")}) << fill(nul, savedValues);

    QByteArray bad = noise.left(4096);
    bad.replace('\n', ' ').replace('\r', ' ').replace('[', ' ').replace('=', ' ');
    const QByteArray between = "[General]\n" + bad + "\nFrequency=@1@\nLevel=@2@\n" + bad +
                               "\nPreemphasis=@3@\nPortNum=@4@\nSend=@5@\n" + bad;
    QTest::newRow("binary lines between the keys, no final line break")
        << fill(between, old) << fill(between, savedValues);
}

void TestOddSave::saveKeepsEveryByteItDoesNotOwn()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    QVERIFY(writeAll(path, before));

    TIniFile ini(path);
    saveFive(ini);
    QVERIFY(readAll(path) == after);
    QCOMPARE(ini.ReadInteger(general, "Frequency", -1), 98000);
    QCOMPARE(ini.ReadInteger(general, "PortNum", -1), 2);
    QCOMPARE(entries(dir.path()), QStringList{"ktbctl.ini"});
}

void TestOddSave::saveIntoDanglingSymlinkCreatesItsTarget()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    QVERIFY(QFile::link("shared/settings.ini", path));
    QVERIFY(QDir(dir.path()).mkdir("shared"));

    TIniFile ini(path);
    saveFive(ini);
    QCOMPARE(QFileInfo(path).symLinkTarget(), dir.filePath("shared/settings.ini"));
    QCOMPARE(readAll(dir.filePath("shared/settings.ini")),
             "[General]\nFrequency=98000\nLevel=100\nPreemphasis=1\nPortNum=2\nSend=0\n");
    QCOMPARE(entries(dir.filePath("shared")), QStringList{"settings.ini"});
}

void TestOddSave::unwritablePathIsRefusedAndLeftAsItWas_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("dangling symlink into a missing folder") << "link";
    QTest::newRow("a folder where the file should be") << "folder";
    QTest::newRow("a file where the folder should be") << "file";
}

void TestOddSave::unwritablePathIsRefusedAndLeftAsItWas()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath("ktbctl.ini");
    if (kind == "link") {
        QVERIFY(QFile::link("missing/settings.ini", path));
    } else if (kind == "folder") {
        QVERIFY(QDir(dir.path()).mkdir("ktbctl.ini"));
    } else {
        QVERIFY(writeAll(dir.filePath("program"), "not a folder"));
        path = dir.filePath("program/ktbctl.ini");
    }
    const QStringList before = entries(dir.path());

    TIniFile ini(path);
    try {
        saveFive(ini);
        QFAIL("the save went through");
    } catch (const EIniFileException &refused) {
        QCOMPARE(QString::fromUtf8(refused.what()), "Unable to write to " + path);
    }
    QCOMPARE(entries(dir.path()), before);
    if (kind == "folder")
        QCOMPARE(entries(path), QStringList());
    if (kind == "file")
        QCOMPARE(readAll(dir.filePath("program")), QByteArray("not a folder"));
}

QTEST_GUILESS_MAIN(TestOddSave)
#include "test_oddsave.moc"
