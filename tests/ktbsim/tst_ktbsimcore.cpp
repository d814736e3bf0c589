#include "tools/ktbsim/frame.h"
#include "tools/ktbsim/options.h"

#include <QtTest>

using ktb::Frame;

Q_DECLARE_METATYPE(Frame)
Q_DECLARE_METATYPE(std::vector<std::uint8_t>)

class TestKtbsimCore : public QObject
{
    Q_OBJECT

private slots:
    void describeFrame_data();
    void describeFrame();
    void hexTextOfPartialFrame();
    void parseArguments_data();
    void parseArguments();
    void replyTo();
};

void TestKtbsimCore::describeFrame_data()
{
    QTest::addColumn<Frame>("frame");
    QTest::addColumn<QString>("line");

    QTest::newRow("default frequency") << Frame{0x01, 0x27, 0x10} << "frequency 100000 kHz";
    QTest::newRow("lowest frequency") << Frame{0x01, 0x1D, 0xB0} << "frequency 76000 kHz";
    QTest::newRow("highest frequency") << Frame{0x01, 0x2A, 0x30} << "frequency 108000 kHz";
    QTest::newRow("frequency low byte only") << Frame{0x01, 0x27, 0x0F} << "frequency 99990 kHz";
    QTest::newRow("frequency all ones") << Frame{0x01, 0xFF, 0xFF} << "frequency 655350 kHz";
    QTest::newRow("default level") << Frame{0x02, 0x73, 0x00} << "level 115 dBuV";
    QTest::newRow("lowest level") << Frame{0x02, 0x58, 0x00} << "level 88 dBuV";
    QTest::newRow("level byte 255") << Frame{0x02, 0xFF, 0x00} << "level 255 dBuV";
    QTest::newRow("level with nonzero last byte") << Frame{0x02, 0x73, 0x01} << "raw 02 73 01";
    QTest::newRow("fixed") << Frame{0x03, 0x00, 0x00} << "fixed";
    QTest::newRow("fixed with nonzero first data") << Frame{0x03, 0x01, 0x00} << "raw 03 01 00";
    QTest::newRow("fixed with nonzero last data") << Frame{0x03, 0x00, 0x80} << "raw 03 00 80";
    QTest::newRow("pre-emphasis 75") << Frame{0x04, 0x00, 0x00} << "pre-emphasis 75 us (US)";
    QTest::newRow("pre-emphasis 50") << Frame{0x04, 0x00, 0x01} << "pre-emphasis 50 us (EU, JP)";
    QTest::newRow("pre-emphasis none") << Frame{0x04, 0x00, 0x02} << "pre-emphasis none";
    QTest::newRow("pre-emphasis index 3") << Frame{0x04, 0x00, 0x03} << "raw 04 00 03";
    QTest::newRow("pre-emphasis no selection") << Frame{0x04, 0x00, 0xFF} << "raw 04 00 FF";
    QTest::newRow("pre-emphasis nonzero middle byte") << Frame{0x04, 0x01, 0x00} << "raw 04 01 00";
    QTest::newRow("unknown code") << Frame{0x05, 0x01, 0x02} << "raw 05 01 02";
    QTest::newRow("code zero") << Frame{0x00, 0x00, 0x00} << "raw 00 00 00";
    QTest::newRow("code 0xAB hex digits upper case") << Frame{0xAB, 0xCD, 0xEF} << "raw AB CD EF";
}

void TestKtbsimCore::describeFrame()
{
    QFETCH(Frame, frame);
    QFETCH(QString, line);
    QCOMPARE(QString::fromStdString(ktb::describeFrame(frame)), line);
}

void TestKtbsimCore::hexTextOfPartialFrame()
{
    const std::uint8_t two[] = {0x05, 0x0A};
    QCOMPARE(ktb::hexText(two), std::string("05 0A"));
    QCOMPARE(ktb::hexText(std::span<const std::uint8_t>()), std::string());
}

void TestKtbsimCore::parseArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("log");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<std::vector<std::uint8_t>>("fixed");
    QTest::addColumn<bool>("help");

    using Bytes = std::vector<std::uint8_t>;
    QTest::newRow("no arguments: echo") << QStringList{} << true << ""
                                        << "" << true << Bytes{} << false;
    QTest::newRow("link and log, separate values")
        << QStringList{"--link", "/tmp/a", "--log", "/tmp/b"} << true << "/tmp/a"
        << "/tmp/b" << true << Bytes{} << false;
    QTest::newRow("link with equals sign") << QStringList{"--link=/tmp/a=b"} << true << "/tmp/a=b"
                                           << "" << true << Bytes{} << false;
    QTest::newRow("reply none") << QStringList{"--reply", "none"} << true << ""
                                << "" << false << Bytes{} << false;
    QTest::newRow("reply echo after none: last wins")
        << QStringList{"--reply=none", "--reply", "echo"} << true << ""
        << "" << true << Bytes{} << false;
    QTest::newRow("ack two digits") << QStringList{"--reply", "ack:06"} << true << ""
                                    << "" << false << Bytes{0x06} << false;
    QTest::newRow("ack one digit") << QStringList{"--reply", "ack:f"} << true << ""
                                   << "" << false << Bytes{0x0F} << false;
    QTest::newRow("hex mixed case") << QStringList{"--reply=hex:06a5Ff"} << true << ""
                                    << "" << false << Bytes{0x06, 0xA5, 0xFF} << false;
    QTest::newRow("hex zero byte") << QStringList{"--reply=hex:00"} << true << ""
                                   << "" << false << Bytes{0x00} << false;
    QTest::newRow("help among others") << QStringList{"--link", "x", "--help"} << true << "x"
                                       << "" << true << Bytes{} << true;

    const auto bad = [](const char *name, QStringList args) {
        QTest::newRow(name) << args << false << ""
                            << "" << true << Bytes{} << false;
    };
    bad("unknown option", {"--speed", "9600"});
    bad("positional argument", {"extra"});
    bad("link without value", {"--link"});
    bad("empty link", {"--link="});
    bad("unknown reply mode", {"--reply", "nak"});
    bad("ack without digits", {"--reply", "ack:"});
    bad("ack two bytes", {"--reply", "ack:0606"});
    bad("ack three digits", {"--reply", "ack:123"});
    bad("ack not hex", {"--reply", "ack:0G"});
    bad("hex empty", {"--reply", "hex:"});
    bad("hex odd digits", {"--reply", "hex:06A"});
    bad("hex with comma", {"--reply", "hex:06,A5"});
    bad("hex with space", {"--reply", "hex:06 A5"});
    bad("reply mode upper case", {"--reply", "ECHO"});
}

void TestKtbsimCore::parseArguments()
{
    QFETCH(QStringList, args);
    QFETCH(bool, valid);

    std::vector<std::string> storage;
    for (const QString &arg : args)
        storage.push_back(arg.toStdString());
    const std::vector<std::string_view> views(storage.begin(), storage.end());
    const ktb::ParsedArguments parsed = ktb::parseArguments(views);

    QCOMPARE(parsed.error.empty(), valid);
    if (!valid)
        return;
    QTEST(QString::fromStdString(parsed.options.linkPath), "link");
    QTEST(QString::fromStdString(parsed.options.logPath), "log");
    QTEST(parsed.options.reply.echo, "echo");
    QFETCH(std::vector<std::uint8_t>, fixed);
    QVERIFY(parsed.options.reply.fixed == fixed);
    QTEST(parsed.options.help, "help");
}

void TestKtbsimCore::replyTo()
{
    const Frame frame{0x01, 0x27, 0x10};
    const auto bytes = [](std::initializer_list<std::uint8_t> list) {
        return std::vector<std::uint8_t>(list);
    };
    QVERIFY(ktb::replyTo(ktb::Reply{}, frame) == bytes({0x01, 0x27, 0x10}));
    QVERIFY(ktb::replyTo(ktb::Reply{false, {}}, frame).empty());
    QVERIFY(ktb::replyTo(ktb::Reply{false, {0x06, 0xA5}}, frame) == bytes({0x06, 0xA5}));
}

QTEST_GUILESS_MAIN(TestKtbsimCore)
#include "tst_ktbsimcore.moc"
