#include "link/frames.h"

#include <QByteArray>
#include <QTest>

namespace {

QByteArray bytes(const ktb::Frame &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()));
}

} // namespace

class TestFrames : public QObject
{
    Q_OBJECT

private slots:
    void frame_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("frequency 100000")
            << bytes(ktb::frequencyFrame(100000)) << QByteArray("012710");
        QTest::newRow("frequency minimum 76000")
            << bytes(ktb::frequencyFrame(76000)) << QByteArray("011db0");
        QTest::newRow("frequency maximum 108000")
            << bytes(ktb::frequencyFrame(108000)) << QByteArray("012a30");
        QTest::newRow("frequency 100005 truncated")
            << bytes(ktb::frequencyFrame(100005)) << QByteArray("012710");
        QTest::newRow("frequency 99999 truncated")
            << bytes(ktb::frequencyFrame(99999)) << QByteArray("01270f");
        QTest::newRow("level minimum 88") << bytes(ktb::levelFrame(88)) << QByteArray("025800");
        QTest::newRow("level maximum 120") << bytes(ktb::levelFrame(120)) << QByteArray("027800");
        QTest::newRow("level 115") << bytes(ktb::levelFrame(115)) << QByteArray("027300");
        QTest::newRow("level low 8 bits only")
            << bytes(ktb::levelFrame(0x158)) << QByteArray("025800");
        QTest::newRow("fixed") << bytes(ktb::fixedFrame()) << QByteArray("030000");
        QTest::newRow("pre-emphasis 75 us")
            << bytes(ktb::preemphasisFrame(0)) << QByteArray("040000");
        QTest::newRow("pre-emphasis 50 us")
            << bytes(ktb::preemphasisFrame(1)) << QByteArray("040001");
        QTest::newRow("pre-emphasis none")
            << bytes(ktb::preemphasisFrame(2)) << QByteArray("040002");
        QTest::newRow("pre-emphasis no selection")
            << bytes(ktb::preemphasisFrame(-1)) << QByteArray("0400ff");
    }

    void frame()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QCOMPARE(frame.toHex(), expected);
    }

    void defaultPassInOrder()
    {
        QByteArray pass;
        for (const ktb::Frame &frame : ktb::passFrames(100000, 115, 0))
            pass += bytes(frame);
        QCOMPARE(pass.toHex(), QByteArray("012710027300030000040000"));
    }
};

QTEST_GUILESS_MAIN(TestFrames)
#include "test_frames.moc"
