#include "app/application.h"
#include "app/errorreport.h"
#include "app/unit1.h"
#include "link/vacomm.h"
#include "ptypair.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QtTest>
#include <poll.h>
#include <unistd.h>

using ktb::test::PtyPair;

namespace {

QString settingsPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ktbctl.ini");
}

QByteArray readSettings()
{
    QFile file(settingsPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeSettings(const QByteArray &content)
{
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// Everything the program has put on the line so far, without waiting.
QByteArray drain(PtyPair &pty)
{
    QByteArray all;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pty.masterFd(), buffer, sizeof buffer)) > 0)
        all.append(buffer, n);
    return all;
}

} // namespace

class TestFormSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstStartShowsDefaultsAndCloseCreatesFile();
    void loadedValues_data();
    void loadedValues();
    void closeWritesControlsAsTheyStand();
    void typedOutOfRangeIsWrittenAsTyped();
    void otherSectionsAndKeysSurviveASave();
    void refusedSaveKeepsWindowOpen();
    void startUpSendRunsBeforeTheWindowShows();
    void startUpSendToMissingPort();

private:
    // A window as the program makes it, on the settings file of the moment.
    static std::unique_ptr<TForm1> openWindow() { return std::make_unique<TForm1>(); }

    std::unique_ptr<PtyPair> pty_;
    QStringList reports_;
};

void TestFormSettings::initTestCase()
{
    ktb::setUpApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()),
                          QCoreApplication::applicationFilePath());
}

void TestFormSettings::init()
{
    QFile::remove(settingsPath());
    pty_ = std::make_unique<PtyPair>();
    QVERIFY(pty_->isValid());
    reports_.clear();
    ktb::setFailureReporter([this](const QString &text) { reports_ << text; });
}

void TestFormSettings::cleanup()
{
    ktb::setFailureReporter(nullptr);
    pty_.reset();
    QDir(settingsPath()).removeRecursively();
    QFile::remove(settingsPath());
}

void TestFormSettings::firstStartShowsDefaultsAndCloseCreatesFile()
{
    auto form = openWindow();
    QCOMPARE(form->SpinEdit1->text(), QStringLiteral("100000"));
    QCOMPARE(form->SpinEdit2->text(), QStringLiteral("115"));
    QCOMPARE(form->ComboBox1->currentText(), QStringLiteral("75 us (US)"));
    QCOMPARE(form->ComboBox2->currentText(), QStringLiteral("COM1"));
    QVERIFY(!form->CheckBox1->isChecked());
    QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Response:\n"));
    QCOMPARE(ProgramDir, QCoreApplication::applicationDirPath() + u'/');
    QVERIFY(!QFile::exists(settingsPath()));

    form->show();
    QVERIFY(form->close());
    QCOMPARE(readSettings(), QByteArray("[General]\nFrequency=100000\nLevel=115\nPreemphasis=0\n"
                                        "PortNum=0\nSend=0\n"));
    QVERIFY(reports_.isEmpty());
}

void TestFormSettings::loadedValues_data()
{
    QTest::addColumn<QByteArray>("general");
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QString>("level");
    QTest::addColumn<int>("preemphasis");
    QTest::addColumn<int>("port");

    auto row = [](const char *name, const char *general, const char *frequency,
                  const char *level = "115", int preemphasis = 0, int port = 0) {
        QTest::newRow(name) << QByteArray(general) << QString::fromLatin1(frequency)
                            << QString::fromLatin1(level) << preemphasis << port;
    };
    row("hex 0x", "Frequency=0x186A0", "100000");
    row("hex 0X mixed case", "Frequency=0X186a0", "100000");
    row("hex $", "Frequency=$186A0", "100000");
    row("hex x", "Frequency=x186A0", "100000");
    row("below range clamps", "Frequency=50000", "76000");
    row("above range clamps", "Frequency=200000", "108000");
    row("off the step kept", "Frequency=100005", "100005");
    row("signed hex is not a number", "Frequency=-0x10", "100000");
    row("exponent is not a number", "Frequency=1e5", "100000");
    row("decimal point is not a number", "Frequency=100000.0", "100000");
    row("unit is not a number", "Frequency=100000 kHz", "100000");
    row("too large is not clamped", "Frequency=99999999999", "100000");
    row("level hex clamps", "Level=0x7F", "100000", "120");
    row("level zero clamps", "Level=0", "100000", "88");
    row("preemphasis beyond list", "Preemphasis=3", "100000", "115", -1);
    row("preemphasis negative", "Preemphasis=-1", "100000", "115", -1);
    row("preemphasis none", "Preemphasis=2", "100000", "115", 2);
    row("port beyond list", "PortNum=9", "100000", "115", 0, -1);
    row("port COM9", "PortNum=8", "100000", "115", 0, 8);
}

void TestFormSettings::loadedValues()
{
    QFETCH(QByteArray, general);
    QFETCH(QString, frequency);
    QFETCH(QString, level);
    QFETCH(int, preemphasis);
    QFETCH(int, port);

    writeSettings("[General]\r\n" + general + "\r\n");
    auto form = openWindow();
    QCOMPARE(form->SpinEdit1->text(), frequency);
    QCOMPARE(form->SpinEdit2->text(), level);
    QCOMPARE(form->ComboBox1->currentIndex(), preemphasis);
    QCOMPARE(form->ComboBox2->currentIndex(), port);
    if (preemphasis < 0)
        QVERIFY(form->ComboBox1->currentText().isEmpty());
}

void TestFormSettings::closeWritesControlsAsTheyStand()
{
    writeSettings("[General]\nPreemphasis=3\nPortNum=9\n");
    auto form = openWindow();
    form->SpinEdit2->editor()->selectAll();
    QTest::keyClick(form->SpinEdit2->editor(), Qt::Key_Backspace);
    form->CheckBox1->setChecked(true);
    form->show();
    QVERIFY(form->close());
    QCOMPARE(readSettings(), QByteArray("[General]\nPreemphasis=-1\nPortNum=-1\nFrequency=100000\n"
                                        "Level=88\nSend=1\n"));
}

void TestFormSettings::typedOutOfRangeIsWrittenAsTyped()
{
    {
        auto form = openWindow();
        form->SpinEdit1->editor()->selectAll();
        QTest::keyClicks(form->SpinEdit1->editor(), QStringLiteral("999999"));
        form->show();
        QVERIFY(form->close());
    }
    QVERIFY(readSettings().contains("Frequency=999999\n"));
    auto next = openWindow();
    QCOMPARE(next->SpinEdit1->text(), QStringLiteral("108000"));
}

void TestFormSettings::otherSectionsAndKeysSurviveASave()
{
    const QByteArray before = "; made by hand\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n\r\n"
                              "[General]\r\nLevel = 100\r\nOwner=studio B\r\nSend=0\r\n";
    writeSettings(before);
    auto form = openWindow();
    form->SpinEdit1->setValue(88000);
    form->show();
    QVERIFY(form->close());
    QCOMPARE(readSettings(), QByteArray("; made by hand\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n\r\n"
                                        "[General]\r\nLevel = 100\r\nOwner=studio B\r\nSend=0\r\n"
                                        "Frequency=88000\r\nPreemphasis=0\r\nPortNum=0\r\n"));
}

void TestFormSettings::refusedSaveKeepsWindowOpen()
{
    // A folder where the file should be: no write can replace it, even as root.
    QVERIFY(QDir().mkpath(settingsPath()));
    auto form = openWindow();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    QVERIFY(!form->close());
    QVERIFY(form->isVisible());
    const QString expected =
        QStringLiteral("Unable to write to %1.").arg(QFileInfo(settingsPath()).absoluteFilePath());
    QCOMPARE(reports_, QStringList{expected});

    // Every later attempt saves again and fails the same way.
    QVERIFY(!form->close());
    QCOMPARE(reports_, (QStringList{expected, expected}));
    QVERIFY(form->isVisible());
    QVERIFY(QFileInfo(settingsPath()).isDir());

    // Once the file can be written, the close goes through.
    QVERIFY(QDir(settingsPath()).removeRecursively());
    QVERIFY(form->close());
    QVERIFY(readSettings().startsWith("[General]\nFrequency=100000\n"));
}

void TestFormSettings::startUpSendRunsBeforeTheWindowShows()
{
    const QByteArray pass = QByteArray::fromHex("012A30"
                                                "025800"
                                                "030000"
                                                "040001");
    for (const char *send : {"1", "2", "-1", "0x1"}) {
        writeSettings(
            "[General]\nFrequency=108000\nLevel=88\nPreemphasis=1\nSend=" + QByteArray(send) +
            "\n[Ports]\nCOM1=" + pty_->slavePath().toLocal8Bit() + "\n");
        auto form = openWindow();
        // The whole sequence ran inside the construction: nothing is shown yet.
        QVERIFY(!form->isVisible());
        QVERIFY2(form->CheckBox1->isChecked(), send);
        QCOMPARE(drain(*pty_), pass + pass);
        QVERIFY(form->Memo1->toPlainText().isEmpty());
        QVERIFY(!form->VaComm1->Active());
    }
    for (const char *send : {"0", "", "true"}) {
        writeSettings("[General]\nSend=" + QByteArray(send) +
                      "\n[Ports]\nCOM1=" + pty_->slavePath().toLocal8Bit() + "\n");
        auto form = openWindow();
        QVERIFY2(!form->CheckBox1->isChecked(), send);
        QCOMPARE(drain(*pty_), QByteArray());
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Response:\n"));
    }
}

void TestFormSettings::startUpSendToMissingPort()
{
    writeSettings("[General]\nLevel=100\nPortNum=1\nSend=1\n[Ports]\nCOM2=/nonexistent/tty\n");
    auto form = openWindow();
    QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Unable to open the COM port!\n"));
    QCOMPARE(form->SpinEdit2->text(), QStringLiteral("100"));
    QVERIFY(reports_.isEmpty());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Unable to open the COM port!\n"));
}

QTEST_MAIN(TestFormSettings)
#include "test_formsettings.moc"
