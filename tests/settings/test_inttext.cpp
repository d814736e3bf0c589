#include "settings/inttext.h"

#include <QTest>
#include <optional>

using Result = std::optional<std::int32_t>;
Q_DECLARE_METATYPE(Result)

namespace {

// Readable failure output: QtTest cannot print a std::optional by itself.
QString show(Result r)
{
    return r ? QString::number(*r) : QStringLiteral("not an integer");
}

} // namespace

class TestIntText : public QObject
{
    Q_OBJECT

private slots:
    void parseInteger_data();
    void parseInteger();
    void integerTextRoundTrip_data();
    void integerTextRoundTrip();
};

void TestIntText::parseInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Result>("expected");
    const Result none;

    QTest::newRow("decimal") << "100000" << Result(100000);
    QTest::newRow("zero") << "0" << Result(0);
    QTest::newRow("plus sign") << "+7" << Result(7);
    QTest::newRow("minus sign") << "-1" << Result(-1);
    QTest::newRow("leading spaces skipped") << "   42" << Result(42);
    QTest::newRow("leading zeros decimal") << "000115" << Result(115);
    QTest::newRow("int32 max") << "2147483647" << Result(INT32_MAX);
    QTest::newRow("int32 min") << "-2147483648" << Result(INT32_MIN);
    QTest::newRow("above int32 max") << "2147483648" << none;
    QTest::newRow("below int32 min") << "-2147483649" << none;
    QTest::newRow("far above range, not clamped") << "99999999999" << none;
    QTest::newRow("twenty digits") << "99999999999999999999" << none;

    QTest::newRow("hex 0x") << "0x186A0" << Result(100000);
    QTest::newRow("hex 0X lower digits") << "0X186a0" << Result(100000);
    QTest::newRow("hex $") << "$186A0" << Result(100000);
    QTest::newRow("hex x") << "x186A0" << Result(100000);
    QTest::newRow("hex X") << "X7F" << Result(127);
    QTest::newRow("hex after spaces") << "  0x10" << Result(16);
    QTest::newRow("hex FFFFFFFF is -1") << "0xFFFFFFFF" << Result(-1);
    QTest::newRow("hex $ffffffff is -1") << "$ffffffff" << Result(-1);
    QTest::newRow("hex 80000000 is int32 min") << "0x80000000" << Result(INT32_MIN);
    QTest::newRow("hex 7FFFFFFF") << "x7FFFFFFF" << Result(INT32_MAX);
    QTest::newRow("hex leading zeros not counted") << "0x000000001" << Result(1);
    QTest::newRow("hex eight digits after zeros") << "$00FFFFFFFF" << Result(-1);
    QTest::newRow("hex nine significant digits") << "0x100000000" << none;
    QTest::newRow("hex all zeros") << "0x0000000000" << Result(0);

    QTest::newRow("sign before hex prefix") << "-0x10" << none;
    QTest::newRow("plus before hex prefix") << "+$10" << none;
    QTest::newRow("exponent") << "1e5" << none;
    QTest::newRow("decimal point") << "100000.0" << none;
    QTest::newRow("unit") << "100000 kHz" << none;
    QTest::newRow("trailing blank") << "100000 " << none;
    QTest::newRow("tab before digits") << "\t42" << none;
    QTest::newRow("blank after sign") << "- 1" << none;
    QTest::newRow("hex digit in decimal") << "12A" << none;
    QTest::newRow("non-hex after prefix") << "0x1G" << none;
    QTest::newRow("empty") << "" << none;
    QTest::newRow("only spaces") << "   " << none;
    QTest::newRow("lone minus") << "-" << none;
    QTest::newRow("lone plus") << "+" << none;
    QTest::newRow("lone $") << "$" << none;
    QTest::newRow("lone 0x") << "0x" << none;
    QTest::newRow("lone x") << "x" << none;
    QTest::newRow("word true") << "true" << none;
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("\u0661\u0662") << none;
    QTest::newRow("full-width digits") << QString::fromUtf8("\uFF11\uFF12") << none;
}

void TestIntText::parseInteger()
{
    QFETCH(QString, text);
    QFETCH(Result, expected);
    QCOMPARE(show(ktb::parseInteger(text)), show(expected));
}

void TestIntText::integerTextRoundTrip_data()
{
    QTest::addColumn<std::int32_t>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << std::int32_t(0) << "0";
    QTest::newRow("positive") << std::int32_t(100000) << "100000";
    QTest::newRow("minus one") << std::int32_t(-1) << "-1";
    QTest::newRow("int32 min") << std::int32_t(INT32_MIN) << "-2147483648";
    QTest::newRow("int32 max") << std::int32_t(INT32_MAX) << "2147483647";
}

void TestIntText::integerTextRoundTrip()
{
    QFETCH(std::int32_t, value);
    QFETCH(QString, text);
    QCOMPARE(ktb::integerText(value), text);
    QCOMPARE(show(ktb::parseInteger(text)), show(value));
}

QTEST_GUILESS_MAIN(TestIntText)
#include "test_inttext.moc"
