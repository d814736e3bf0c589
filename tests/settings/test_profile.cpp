#include "settings/profile.h"

#include <QTest>

using ktb::profile::readValue;
using ktb::profile::writeValue;

class TestProfile : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void write_data();
    void write();
};

void TestProfile::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");

    // The vectors of the profile-file rules.
    const QByteArray blanks = "[General]\r\n  volume =  12  \r\n";
    QTest::newRow("names ignore case and blanks")
        << blanks << QByteArray("general") << QByteArray("VOLUME") << QByteArray("12");
    const QByteArray quotes = "[General]\r\nA=\"7\"\r\nB='8\r\nC= \" 9 \" \r\n";
    QTest::newRow("quote pair removed")
        << quotes << QByteArray("General") << QByteArray("A") << QByteArray("7");
    QTest::newRow("unmatched quote stays")
        << quotes << QByteArray("General") << QByteArray("B") << QByteArray("'8");
    QTest::newRow("blanks inside quotes kept")
        << quotes << QByteArray("General") << QByteArray("C") << QByteArray(" 9 ");
    const QByteArray comments = "[General]\r\n;Power=1\r\n#Power=2\r\nPower=3 ; max\r\n";
    QTest::newRow("no end-of-line comment")
        << comments << QByteArray("General") << QByteArray("Power") << QByteArray("3 ; max");
    QTest::newRow("hash is ordinary")
        << comments << QByteArray("General") << QByteArray("#Power") << QByteArray("2");
    const QByteArray duplicates = "[General]\r\nA=1\r\nA=2\r\n[General]\r\nB=3\r\n";
    QTest::newRow("first duplicate key wins")
        << duplicates << QByteArray("General") << QByteArray("A") << QByteArray("1");
    QTest::newRow("second duplicate section not searched")
        << duplicates << QByteArray("General") << QByteArray("B") << QByteArray();

    // Line ends.
    QTest::newRow("LF line ends") << QByteArray("[General]\nA=1\nB=2\n") << QByteArray("General")
                                  << QByteArray("B") << QByteArray("2");
    QTest::newRow("lone CR line ends")
        << QByteArray("[General]\rA=1\rB=2\r") << QByteArray("General") << QByteArray("B")
        << QByteArray("2");
    QTest::newRow("mixed line ends") << QByteArray("[X]\r\nA=0\r[General]\nA=1")
                                     << QByteArray("General") << QByteArray("A") << QByteArray("1");

    // Section headers.
    QTest::newRow("header with blanks and trailing text")
        << QByteArray("  [  General  ] ; main\r\nA=1\r\n") << QByteArray("General")
        << QByteArray("A") << QByteArray("1");
    QTest::newRow("header missing bracket")
        << QByteArray("[General\r\nA=1\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("1");
    QTest::newRow("key before first section never found")
        << QByteArray("A=1\r\n[General]\r\nB=2\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray();
    QTest::newRow("key of a later section not found")
        << QByteArray("[General]\r\nB=2\r\n[Other]\r\nA=1\r\n") << QByteArray("General")
        << QByteArray("A") << QByteArray();
    QTest::newRow("non-ASCII names match exactly") << QByteArray("[Gr\xc3\xbc\xc3\x9f"
                                                                 "e]\r\nA=1\r\n")
                                                   << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                                 "e")
                                                   << QByteArray("A") << QByteArray("1");
    QTest::newRow("non-ASCII names do not fold case")
        << QByteArray("[\xc3\x84]\r\nA=1\r\n") << QByteArray("\xc3\xa4") << QByteArray("A")
        << QByteArray();

    // Keys and values.
    QTest::newRow("indented comment")
        << QByteArray("[General]\r\n  ;A=1\r\nA=2\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("2");
    QTest::newRow("line without equals is no key")
        << QByteArray("[General]\r\nA\r\nA=5\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("5");
    QTest::newRow("value after first equals")
        << QByteArray("[General]\r\nA = b=c\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("b=c");
    QTest::newRow("tabs trimmed") << QByteArray("[General]\r\n\tA\t=\t5\t\r\n")
                                  << QByteArray("General") << QByteArray("A") << QByteArray("5");
    QTest::newRow("empty quotes") << QByteArray("[General]\r\nA=\"\"\r\n") << QByteArray("General")
                                  << QByteArray("A") << QByteArray();
    QTest::newRow("lone quote") << QByteArray("[General]\r\nA=\"\r\n") << QByteArray("General")
                                << QByteArray("A") << QByteArray("\"");
    QTest::newRow("mixed quote pair stays")
        << QByteArray("[General]\r\nA=\"7'\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("\"7'");
    QTest::newRow("empty value") << QByteArray("[General]\r\nA=   \r\n") << QByteArray("General")
                                 << QByteArray("A") << QByteArray();
    QTest::newRow("missing key") << QByteArray("[General]\r\nA=1\r\n") << QByteArray("General")
                                 << QByteArray("B") << QByteArray();
    QTest::newRow("missing section") << QByteArray("[Other]\r\nA=1\r\n") << QByteArray("General")
                                     << QByteArray("A") << QByteArray();
    QTest::newRow("empty file") << QByteArray() << QByteArray("General") << QByteArray("A")
                                << QByteArray();
    QTest::newRow("non-UTF-8 value bytes")
        << QByteArray("[General]\r\nA=\xff\xfe\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("\xff\xfe");
}

void TestProfile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    QCOMPARE(readValue(content, section, key), expected);
}

void TestProfile::write_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");

    // The vectors of the profile-file rules.
    QTest::newRow("new file") << QByteArray() << QByteArray("General") << QByteArray("Volume")
                              << QByteArray("5") << QByteArray("[General]\nVolume=5\n");
    QTest::newRow("new section after missing final line end")
        << QByteArray("[Other]\r\nX=y") << QByteArray("General") << QByteArray("A")
        << QByteArray("1") << QByteArray("[Other]\r\nX=y\r\n[General]\r\nA=1\r\n");
    QTest::newRow("new key after last key, before comment")
        << QByteArray("[General]\r\nA=1\r\n;note\r\n[Other]\r\nX=y\r\n") << QByteArray("General")
        << QByteArray("B") << QByteArray("2")
        << QByteArray("[General]\r\nA=1\r\nB=2\r\n;note\r\n[Other]\r\nX=y\r\n");
    QTest::newRow("new key before blank line")
        << QByteArray("[General]\r\nA=1\r\n\r\n[Other]\r\n") << QByteArray("General")
        << QByteArray("B") << QByteArray("2")
        << QByteArray("[General]\r\nA=1\r\nB=2\r\n\r\n[Other]\r\n");
    QTest::newRow("replace keeps spelling, adds final line end")
        << QByteArray("[general]\r\nVOLUME=3") << QByteArray("General") << QByteArray("Volume")
        << QByteArray("4") << QByteArray("[general]\r\nVOLUME=4\r\n");

    // Replacing.
    QTest::newRow("replace keeps blanks around equals")
        << QByteArray("[General]\r\nLevel = 115\r\n") << QByteArray("General")
        << QByteArray("Level") << QByteArray("120") << QByteArray("[General]\r\nLevel = 120\r\n");
    QTest::newRow("replace keeps indented name")
        << QByteArray("[General]\r\n  volume =\t 12  \r\nB=1\r\n") << QByteArray("General")
        << QByteArray("Volume") << QByteArray("13")
        << QByteArray("[General]\r\n  volume =\t 13\r\nB=1\r\n");
    QTest::newRow("replace quoted value")
        << QByteArray("[General]\r\nA=\"x\"\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("y") << QByteArray("[General]\r\nA=y\r\n");
    QTest::newRow("replace empty value")
        << QByteArray("[General]\nA=\nB=1\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("5") << QByteArray("[General]\nA=5\nB=1\n");
    QTest::newRow("replace first duplicate only")
        << QByteArray("[General]\r\nA=1\r\nA=2\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("3") << QByteArray("[General]\r\nA=3\r\nA=2\r\n");
    QTest::newRow("replace under header with trailing text")
        << QByteArray("[General] ; main\r\nA=1\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("2") << QByteArray("[General] ; main\r\nA=2\r\n");

    // Adding a key.
    QTest::newRow("section without keys gets key after header")
        << QByteArray("[General]\r\n;c\r\n\r\n[Other]\r\nX=1\r\n") << QByteArray("General")
        << QByteArray("A") << QByteArray("1")
        << QByteArray("[General]\r\nA=1\r\n;c\r\n\r\n[Other]\r\nX=1\r\n");
    QTest::newRow("header at end without line end")
        << QByteArray("[Other]\r\n[General]") << QByteArray("General") << QByteArray("A")
        << QByteArray("1") << QByteArray("[Other]\r\n[General]\r\nA=1\r\n");
    QTest::newRow("last key without line end")
        << QByteArray("[General]\r\nA=1") << QByteArray("General") << QByteArray("B")
        << QByteArray("2") << QByteArray("[General]\r\nA=1\r\nB=2\r\n");
    QTest::newRow("after last key past inner comment")
        << QByteArray("[General]\r\nA=1\r\n;c\r\nB=2\r\n;d\r\n") << QByteArray("General")
        << QByteArray("C") << QByteArray("3")
        << QByteArray("[General]\r\nA=1\r\n;c\r\nB=2\r\nC=3\r\n;d\r\n");
    QTest::newRow("first of duplicate sections")
        << QByteArray("[General]\r\nA=1\r\n[Other]\r\n[General]\r\nB=2\r\n")
        << QByteArray("General") << QByteArray("B") << QByteArray("3")
        << QByteArray("[General]\r\nA=1\r\nB=3\r\n[Other]\r\n[General]\r\nB=2\r\n");
    QTest::newRow("key before first section untouched")
        << QByteArray("A=1\r\n[General]\r\nB=2\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("3") << QByteArray("A=1\r\n[General]\r\nB=2\r\nA=3\r\n");

    // Line-end style and bytes.
    QTest::newRow("LF file gets LF")
        << QByteArray("[Other]\nX=y\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("1") << QByteArray("[Other]\nX=y\n[General]\nA=1\n");
    QTest::newRow("style from first line break")
        << QByteArray("[General]\nA=1\r\n") << QByteArray("General") << QByteArray("B")
        << QByteArray("2") << QByteArray("[General]\nA=1\r\nB=2\n");
    QTest::newRow("lone CR file gets LF")
        << QByteArray("[General]\rA=1\r") << QByteArray("General") << QByteArray("B")
        << QByteArray("2") << QByteArray("[General]\rA=1\rB=2\n");
    QTest::newRow("value written as given")
        << QByteArray("[General]\r\n") << QByteArray("General") << QByteArray("A")
        << QByteArray("x \"q\"") << QByteArray("[General]\r\nA=x \"q\"\r\n");
    QTest::newRow("non-UTF-8 bytes elsewhere kept")
        << QByteArray("; Stra\xdf"
                      "e\r\n[General]\r\nA=1\r\n[X\xff]\r\nK=\xfe\xff\r\n")
        << QByteArray("General") << QByteArray("A") << QByteArray("2")
        << QByteArray("; Stra\xdf"
                      "e\r\n[General]\r\nA=2\r\n[X\xff]\r\nK=\xfe\xff\r\n");
}

void TestProfile::write()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    const QByteArray written = writeValue(content, section, key, value);
    QCOMPARE(written, expected);
    // Whatever was written must read back.
    QCOMPARE(readValue(written, section, key), value);
}

QTEST_GUILESS_MAIN(TestProfile)
#include "test_profile.moc"
