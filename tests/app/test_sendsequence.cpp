#include "app/application.h"
#include "app/errorreport.h"
#include "app/unit1.h"
#include "link/hextext.h"
#include "link/vacomm.h"
#include "ptypair.h"

#include <QApplication>
#include <QFile>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <mutex>
#include <poll.h>
#include <thread>

using Clock = std::chrono::steady_clock;
using ktb::test::PtyPair;

namespace {

QString settingsPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ktbctl.ini");
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

const QByteArray workedExamplePass =
    bytes({0x01, 0x27, 0x10, 0x02, 0x73, 0x00, 0x03, 0x00, 0x00, 0x04, 0x00, 0x00});

// The module's side of the line, on a thread of its own: the window's thread is
// blocked for the whole send sequence, as it is with a real module.
class Peer
{
public:
    // Given the index of a frame and the frame, what to answer and after how long.
    struct Answer
    {
        QByteArray bytes;
        std::chrono::milliseconds delay{0};
    };
    using Reply = std::function<Answer(int index, const QByteArray &frame)>;

    Peer(PtyPair &pty, Reply reply) : pty_(pty), reply_(std::move(reply))
    {
        thread_ = std::thread([this] { run(); });
    }
    ~Peer() { stop(); }

    // After this many frames the peer closes its side of the line for good.
    void vanishAfter(int frames) { vanishAfter_ = frames; }

    void stop()
    {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
    }

    QByteArray received() const
    {
        std::lock_guard lock(mutex_);
        return received_;
    }
    std::vector<Clock::time_point> arrivals() const
    {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }

private:
    void run()
    {
        QByteArray pending;
        int frames = 0;
        while (!stopping_) {
            pollfd in{pty_.masterFd(), POLLIN, 0};
            if (in.fd < 0 || ::poll(&in, 1, 10) <= 0 || !(in.revents & POLLIN))
                continue;
            char buffer[256];
            const ssize_t n = ::read(pty_.masterFd(), buffer, sizeof buffer);
            if (n <= 0)
                continue;
            const auto now = Clock::now();
            pending.append(buffer, n);
            while (pending.size() >= 3) {
                const QByteArray frame = pending.left(3);
                pending.remove(0, 3);
                {
                    std::lock_guard lock(mutex_);
                    received_ += frame;
                    arrivals_.push_back(now);
                }
                const Answer answer = reply_ ? reply_(frames, frame) : Answer{};
                ++frames;
                if (!answer.bytes.isEmpty()) {
                    std::this_thread::sleep_for(answer.delay);
                    pty_.writeMaster(answer.bytes);
                }
                if (frames == vanishAfter_) {
                    pty_.closeMaster();
                    return;
                }
            }
        }
    }

    PtyPair &pty_;
    Reply reply_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> vanishAfter_{-1};
    mutable std::mutex mutex_;
    QByteArray received_;
    std::vector<Clock::time_point> arrivals_;
    std::thread thread_;
};

Peer::Answer echo(int, const QByteArray &frame)
{
    return {frame, {}};
}

} // namespace

class TestSendSequence : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void workedExampleWithEcho();
    void frames_data();
    void frames();
    void framesArePaced();
    void missingPortThenGoodPort();
    void peerVanishingClosesThePort();
    void pressDuringSequenceIsIgnored();
    void refusedPortNumberReachesErrorReport();
    void replyInTheLastPauseIsShown();
    void silentModuleLeavesBoxEmpty();
    void replyInTwoPartsReadsAsOne();

private:
    void selectPort(int comNumber) { form_->ComboBox2->setCurrentIndex(comNumber - 1); }

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<TForm1> form_;
    QStringList reports_;
};

void TestSendSequence::initTestCase()
{
    ktb::setUpApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()),
                          QCoreApplication::applicationFilePath());
}

void TestSendSequence::init()
{
    pty_ = std::make_unique<PtyPair>();
    QVERIFY(pty_->isValid());
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\nSend=0\n[Ports]\nCOM1=" + pty_->slavePath().toLocal8Bit() +
               "\nCOM2=/nonexistent/ttyTEST\n");
    file.close();
    reports_.clear();
    ktb::setFailureReporter([this](const QString &text) { reports_ << text; });
    form_ = std::make_unique<TForm1>();
}

void TestSendSequence::cleanup()
{
    form_.reset();
    pty_.reset();
    ktb::setFailureReporter(nullptr);
    QFile::remove(settingsPath());
}

void TestSendSequence::workedExampleWithEcho()
{
    Peer peer(*pty_, echo);
    form_->BitBtn1Click(form_->BitBtn1);
    peer.stop();

    QCOMPARE(peer.received(), workedExamplePass + workedExamplePass);
    QCOMPARE(form_->Memo1->toPlainText(), ktb::hexText(workedExamplePass + workedExamplePass));
    QVERIFY(!form_->VaComm1->Active());
    QCOMPARE(form_->VaComm1->PortNum(), 1);
    QVERIFY(reports_.isEmpty());
}

void TestSendSequence::frames_data()
{
    QTest::addColumn<int>("kHz");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("preemphasis");
    QTest::addColumn<QByteArray>("pass");

    auto pass = [](std::initializer_list<int> f, std::initializer_list<int> l,
                   std::initializer_list<int> p) {
        return bytes(f) + bytes(l) + bytes({0x03, 0x00, 0x00}) + bytes(p);
    };
    QTest::newRow("lowest frequency")
        << 76000 << 115 << 0 << pass({1, 0x1D, 0xB0}, {2, 0x73, 0}, {4, 0, 0});
    QTest::newRow("highest frequency")
        << 108000 << 115 << 0 << pass({1, 0x2A, 0x30}, {2, 0x73, 0}, {4, 0, 0});
    QTest::newRow("100005 sent as 100000")
        << 100005 << 115 << 0 << pass({1, 0x27, 0x10}, {2, 0x73, 0}, {4, 0, 0});
    QTest::newRow("99999 truncated")
        << 99999 << 115 << 0 << pass({1, 0x27, 0x0F}, {2, 0x73, 0}, {4, 0, 0});
    QTest::newRow("level 88") << 100000 << 88 << 0
                              << pass({1, 0x27, 0x10}, {2, 0x58, 0}, {4, 0, 0});
    QTest::newRow("level 120, 50 us")
        << 100000 << 120 << 1 << pass({1, 0x27, 0x10}, {2, 0x78, 0}, {4, 0, 1});
    QTest::newRow("pre-emphasis none")
        << 100000 << 115 << 2 << pass({1, 0x27, 0x10}, {2, 0x73, 0}, {4, 0, 2});
    QTest::newRow("no pre-emphasis selected")
        << 100000 << 115 << -1 << pass({1, 0x27, 0x10}, {2, 0x73, 0}, {4, 0, 0xFF});
}

void TestSendSequence::frames()
{
    QFETCH(int, kHz);
    QFETCH(int, level);
    QFETCH(int, preemphasis);
    QFETCH(QByteArray, pass);

    form_->SpinEdit1->setValue(kHz);
    form_->SpinEdit2->setValue(level);
    form_->ComboBox1->setCurrentIndex(preemphasis);
    Peer peer(*pty_, nullptr);
    form_->BitBtn1Click(form_->BitBtn1);
    peer.stop();
    QCOMPARE(peer.received(), pass + pass);
}

void TestSendSequence::framesArePaced()
{
    Peer peer(*pty_, nullptr);
    const auto start = Clock::now();
    form_->BitBtn1Click(form_->BitBtn1);
    const auto took = Clock::now() - start;
    peer.stop();

    // Every frame, the last one too, is followed by its full pause.
    QVERIFY(took >= std::chrono::milliseconds(800));
    const auto arrivals = peer.arrivals();
    QCOMPARE(arrivals.size(), size_t{8});
    for (size_t i = 1; i < arrivals.size(); ++i) {
        const auto gap = std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]);
        // Lower bound only; the small allowance covers the peer thread waking late
        // for the earlier frame, not a shortened pause.
        QVERIFY2(gap.count() >= 97.0, qPrintable(QString::number(gap.count())));
    }
}

void TestSendSequence::missingPortThenGoodPort()
{
    selectPort(2);
    form_->BitBtn1Click(form_->BitBtn1);
    QCOMPARE(form_->Memo1->toPlainText(), QStringLiteral("Unable to open the COM port!\n"));
    QVERIFY(!form_->VaComm1->Active());
    QCOMPARE(form_->Memo1->toolTip(), QStringLiteral("Specified device not found (COM2)."));
    QVERIFY(reports_.isEmpty());

    selectPort(1);
    Peer peer(*pty_, echo);
    form_->BitBtn1Click(form_->BitBtn1);
    peer.stop();
    QCOMPARE(peer.received().size(), 24);
    QCOMPARE(form_->Memo1->toPlainText().size(), 72);
    QVERIFY(form_->Memo1->toolTip().isEmpty());

    // No entry selected names port 0, which is no device.
    form_->ComboBox2->setCurrentIndex(-1);
    form_->BitBtn1Click(form_->BitBtn1);
    QCOMPARE(form_->VaComm1->PortNum(), 0);
    QCOMPARE(form_->Memo1->toPlainText(), QStringLiteral("Unable to open the COM port!\n"));
}

void TestSendSequence::peerVanishingClosesThePort()
{
    {
        Peer peer(*pty_, nullptr);
        peer.vanishAfter(1);
        form_->BitBtn1Click(form_->BitBtn1);
        peer.stop();
        QCOMPARE(peer.received().size(), 3);
    }
    QCOMPARE(form_->Memo1->toPlainText(), QStringLiteral("Unable to open the COM port!\n"));
    QVERIFY(form_->Memo1->toolTip().startsWith(QStringLiteral("Write error (")));
    QVERIFY(!form_->VaComm1->Active());
    QVERIFY(reports_.isEmpty());

    // A new line on the same name works at the next press.
    pty_ = std::make_unique<PtyPair>();
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Ports]\nCOM1=" + pty_->slavePath().toLocal8Bit() + "\n");
    file.close();
    Peer peer(*pty_, nullptr);
    form_->BitBtn1Click(form_->BitBtn1);
    peer.stop();
    QCOMPARE(peer.received(), workedExamplePass + workedExamplePass);
    QVERIFY(form_->Memo1->toPlainText().isEmpty());
}

void TestSendSequence::pressDuringSequenceIsIgnored()
{
    Peer peer(*pty_, echo);
    // Queued now, handled in the sequence's own event drain.
    QMetaObject::invokeMethod(form_->BitBtn1, &QPushButton::click, Qt::QueuedConnection);
    form_->BitBtn1Click(form_->BitBtn1);
    QCoreApplication::processEvents();
    peer.stop();

    QCOMPARE(peer.received(), workedExamplePass + workedExamplePass);
    QCOMPARE(form_->Memo1->toPlainText(), ktb::hexText(workedExamplePass + workedExamplePass));
    QVERIFY(!form_->VaComm1->Active());
    QVERIFY(reports_.isEmpty());

    // The button answers again once the sequence is over.
    Peer again(*pty_, nullptr);
    QTest::mouseClick(form_->BitBtn1, Qt::LeftButton);
    again.stop();
    QCOMPARE(again.received().size(), 24);
}

void TestSendSequence::refusedPortNumberReachesErrorReport()
{
    form_->VaComm1->setPortNum(1);
    form_->VaComm1->Open();
    Peer peer(*pty_, nullptr);
    QTest::mouseClick(form_->BitBtn1, Qt::LeftButton);
    QCOMPARE(reports_,
             QStringList{QStringLiteral("Can't perform this operation while port is open.")});
    QVERIFY(form_->Memo1->toPlainText().isEmpty());
    QVERIFY(form_->VaComm1->Active());

    // The program goes on: once the port is closed a press sends normally.
    form_->VaComm1->Close();
    QTest::mouseClick(form_->BitBtn1, Qt::LeftButton);
    peer.stop();
    QCOMPARE(peer.received(), workedExamplePass + workedExamplePass);
    QCOMPARE(reports_.size(), 1);
}

void TestSendSequence::replyInTheLastPauseIsShown()
{
    Peer peer(*pty_, [](int index, const QByteArray &) {
        return index == 7 ? Peer::Answer{bytes({0x06, 0x00, 0xA5}), std::chrono::milliseconds(60)}
                          : Peer::Answer{};
    });
    form_->BitBtn1Click(form_->BitBtn1);
    peer.stop();
    QCOMPARE(form_->Memo1->toPlainText(), QStringLiteral("06 00 A5 "));
}

void TestSendSequence::silentModuleLeavesBoxEmpty()
{
    QCOMPARE(form_->Memo1->toPlainText(), QStringLiteral("Response:\n"));
    Peer peer(*pty_, nullptr);
    form_->BitBtn1Click(form_->BitBtn1);
    peer.stop();
    QCOMPARE(form_->Memo1->toPlainText(), QString());
}

void TestSendSequence::replyInTwoPartsReadsAsOne()
{
    const QByteArray reply = bytes({0x06, 0x00, 0xA5, 0x0D, 0x0A, 0x7F, 0xFF, 0x11, 0x13});
    auto shown = [&](const QList<QByteArray> &parts) -> QString {
        form_->Memo1->clear();
        form_->VaComm1->setPortNum(1);
        form_->VaComm1->Open();
        qsizetype sent = 0;
        for (const QByteArray &part : parts) {
            pty_->writeMaster(part);
            sent += part.size();
            // Each part is announced by a notification of its own while events run.
            if (!QTest::qWaitFor([&] { return form_->Memo1->toPlainText().size() == 3 * sent; }))
                return QStringLiteral("part not shown: ") + form_->Memo1->toPlainText();
        }
        form_->VaComm1->Close();
        return form_->Memo1->toPlainText();
    };
    const QString whole = shown({reply});
    QCOMPARE(whole, QStringLiteral("06 00 A5 0D 0A 7F FF 11 13 "));
    QCOMPARE(shown({reply.left(4), reply.mid(4)}), whole);
}

QTEST_MAIN(TestSendSequence)
#include "test_sendsequence.moc"
