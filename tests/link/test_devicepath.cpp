#include "link/devicepath.h"

#include <QTest>

class TestDevicePath : public QObject
{
    Q_OBJECT

private slots:
    void deviceName_data()
    {
        QTest::addColumn<int>("portNum");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first list entry") << 1 << "COM1";
        QTest::newRow("last list entry") << 9 << "COM9";
        QTest::newRow("no selection") << 0 << "COM0";
        QTest::newRow("two digits") << 12 << "COM12";
    }

    void deviceName()
    {
        QFETCH(int, portNum);
        QFETCH(QString, expected);
        QCOMPARE(ktb::deviceName(QStringLiteral("COM%d"), portNum), expected);
    }

    void defaultDevicePath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("COM1 is the first port") << "COM1"
                                                << "/dev/ttyS0";
        QTest::newRow("COM9") << "COM9"
                              << "/dev/ttyS8";
        QTest::newRow("COM10") << "COM10"
                               << "/dev/ttyS9";
        QTest::newRow("COM0 names no port") << "COM0"
                                            << "";
        QTest::newRow("no number") << "COM"
                                   << "";
        QTest::newRow("negative") << "COM-1"
                                  << "";
        QTest::newRow("leading zero") << "COM01"
                                      << "";
        QTest::newRow("trailing text") << "COM1x"
                                       << "";
        QTest::newRow("number too large") << "COM99999999999"
                                          << "";
        QTest::newRow("other prefix") << "LPT1"
                                      << "";
        QTest::newRow("empty") << ""
                               << "";
    }

    void defaultDevicePath()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(ktb::defaultDevicePath(name), expected);
    }
};

QTEST_GUILESS_MAIN(TestDevicePath)
#include "test_devicepath.moc"
