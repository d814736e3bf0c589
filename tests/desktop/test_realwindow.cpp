// The real program in a real X window: started from a copy of its own with
// its own settings file, typed into through the X server, closed as a window
// manager closes windows. What it did is read back from what it wrote and
// from what the simulated module received.

#include "xsession.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace ktb::test;

namespace {

const QString general = QStringLiteral("General");

} // namespace

class TestRealWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void titleAndClientSize();
    void closeRequestSavesTheFiveKeysInOrder();
    void focusStartsInFrequencyAndTabClampsIt_data();
    void focusStartsInFrequencyAndTabClampsIt();
    void sendNowIsTheFourthTabStop();

private:
    // Copies the program into a fresh folder with `settings` as its ktbctl.ini
    // and starts it; returns its window, or 0 after a failed check.
    XDriver::WindowId start(const QByteArray &settings);
    // Closes the window with WM_DELETE_WINDOW and waits for the program to end.
    void closeAndWait(XDriver::WindowId window);
    QString iniPath() const { return folder_->filePath(QStringLiteral("ktbctl.ini")); }
    QString diagnostics();

    Xvfb xvfb_;
    std::unique_ptr<XDriver> x_;
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<QProcess> program_;
};

void TestRealWindow::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed (tools/setup-deps.sh installs it)");
    const QString error = openSession(xvfb_, x_);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestRealWindow::init()
{
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    program_ = std::make_unique<QProcess>();
}

void TestRealWindow::cleanup()
{
    if (program_ && program_->state() != QProcess::NotRunning) {
        program_->kill();
        program_->waitForFinished(5000);
    }
    program_.reset();
    folder_.reset();
}

QString TestRealWindow::diagnostics()
{
    QFile ini(iniPath());
    QString text = QStringLiteral("program stderr: ") +
                   QString::fromLocal8Bit(program_->readAllStandardError());
    if (ini.open(QIODevice::ReadOnly))
        text += QStringLiteral("\nktbctl.ini:\n") + QString::fromUtf8(ini.readAll());
    return text;
}

XDriver::WindowId TestRealWindow::start(const QByteArray &settings)
{
    const QString exe = folder_->filePath(QStringLiteral("ktbctl"));
    if (!QFile::copy(QStringLiteral(KTBCTL_PATH), exe)) {
        QTest::qFail("cannot copy the program", __FILE__, __LINE__);
        return 0;
    }
    QFile ini(iniPath());
    if (!ini.open(QIODevice::WriteOnly) || ini.write(settings) != settings.size()) {
        QTest::qFail("cannot write ktbctl.ini", __FILE__, __LINE__);
        return 0;
    }
    ini.close();

    program_->setProcessEnvironment(programEnvironment(xvfb_.display()));
    program_->setWorkingDirectory(folder_->path());
    program_->start(exe, {});
    if (!program_->waitForStarted(10000)) {
        QTest::qFail(qPrintable(program_->errorString()), __FILE__, __LINE__);
        return 0;
    }
    const XDriver::WindowId window = x_->waitForWindow(program_->processId());
    if (!window)
        QTest::qFail(qPrintable(QStringLiteral("no window appeared; ") + diagnostics()), __FILE__,
                     __LINE__);
    return window;
}

void TestRealWindow::closeAndWait(XDriver::WindowId window)
{
    QVERIFY2(x_->requestClose(window), "the window does not take WM_DELETE_WINDOW");
    QVERIFY2(program_->waitForFinished(20000),
             qPrintable(QStringLiteral("still running after the close request; ") + diagnostics()));
    QCOMPARE(program_->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program_->exitCode(), 0);
}

void TestRealWindow::titleAndClientSize()
{
    const auto window = start("[General]\nSend=0\n");
    QVERIFY(window);
    QCOMPARE(x_->title(window), QStringLiteral("KTB7840 TX Control"));
    QCOMPARE(x_->clientSize(window), QSize(233, 186));
    closeAndWait(window);
}

void TestRealWindow::closeRequestSavesTheFiveKeysInOrder()
{
    // No [General] yet: the order is the program's own, not one it kept.
    const auto window = start("[Ports]\nCOM1=/nonexistent/ttyKTB\n");
    QVERIFY(window);
    QVERIFY(sectionKeys(iniPath(), general).isEmpty());
    closeAndWait(window);
    const QStringList expected{QStringLiteral("Frequency"), QStringLiteral("Level"),
                               QStringLiteral("Preemphasis"), QStringLiteral("PortNum"),
                               QStringLiteral("Send")};
    QCOMPARE(sectionKeys(iniPath(), general), expected);
    QCOMPARE(sectionValue(iniPath(), general, QStringLiteral("Frequency")),
             QStringLiteral("100000"));
    QCOMPARE(sectionValue(iniPath(), QStringLiteral("Ports"), QStringLiteral("COM1")),
             QStringLiteral("/nonexistent/ttyKTB"));
}

void TestRealWindow::focusStartsInFrequencyAndTabClampsIt_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    QTest::newRow("above the range") << QStringLiteral("999999") << QStringLiteral("108000");
    QTest::newRow("below the range") << QStringLiteral("5") << QStringLiteral("76000");
}

void TestRealWindow::focusStartsInFrequencyAndTabClampsIt()
{
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    const auto window = start("[General]\nFrequency=90000\nLevel=100\nSend=0\n");
    QVERIFY(window);
    x_->focus(window);
    // Typed into whatever has the focus first; the whole old value is selected,
    // so the digits replace it. Leaving the field clamps it; a close without
    // leaving would save the number as typed.
    x_->typeKeys(typed + u'\t');
    closeAndWait(window);
    QCOMPARE(sectionValue(iniPath(), general, QStringLiteral("Frequency")), saved);
    QCOMPARE(sectionValue(iniPath(), general, QStringLiteral("Level")), QStringLiteral("100"));
}

void TestRealWindow::sendNowIsTheFourthTabStop()
{
    const QString link = folder_->filePath(QStringLiteral("ttyKTB"));
    const QString log = folder_->filePath(QStringLiteral("frames.log"));
    QProcess module;
    module.start(QStringLiteral(KTBSIM_PATH),
                 {QStringLiteral("--link"), link, QStringLiteral("--log"), log});
    auto stopModule = qScopeGuard([&module] {
        module.terminate();
        module.waitForFinished(5000);
    });
    QVERIFY(module.waitForReadyRead(10000));
    QVERIFY(module.readLine().startsWith("ktbsim: listening on"));

    const auto window = start("[General]\nFrequency=98500\nLevel=95\nPreemphasis=1\nPortNum=0\n"
                              "Send=0\n[Ports]\nCOM1=" +
                              link.toUtf8() + "\n");
    QVERIFY(window);
    x_->focus(window);
    // Frequency, level, pre-emphasis, then the button; Space presses it.
    x_->tab(3);
    x_->typeKeys(QStringLiteral(" "));

    QStringList decoded;
    QDeadlineTimer deadline(20s);
    while (decoded.size() < 8 && !deadline.hasExpired()) {
        if (!module.canReadLine())
            module.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        while (module.canReadLine())
            decoded << QString::fromUtf8(module.readLine()).trimmed();
    }
    QVERIFY2(decoded.size() == 8,
             qPrintable(QStringLiteral("the module got: ") + decoded.join(QStringLiteral(" | ")) +
                        QStringLiteral("; ") + diagnostics()));
    // Two passes of the values the window holds.
    const QStringList pass{QStringLiteral("frequency 98500 kHz"), QStringLiteral("level 95 dBuV"),
                           QStringLiteral("fixed"), QStringLiteral("pre-emphasis 50 us (EU, JP)")};
    QCOMPARE(decoded, pass + pass);

    // 24 bytes: 8 frames of 3, every one whole.
    QFile frames(log);
    QVERIFY(frames.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = frames.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 8);
    qsizetype bytes = 0;
    for (const QByteArray &line : lines)
        bytes += line.split(' ').size() - 1;
    QCOMPARE(bytes, qsizetype(24));

    closeAndWait(window);
}

QTEST_GUILESS_MAIN(TestRealWindow)
#include "test_realwindow.moc"
