#include "app/application.h"
#include "app/errorreport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <stdexcept>

class TestApplication : public QObject
{
    Q_OBJECT

private slots:
    void title_data();
    void title();
    void reportText_data();
    void reportText();
    void centring_data();
    void centring();
    void errorBoxCarriesTitleIconAndOk();
    void guardedHandlerReportsAndReturns();
};

void TestApplication::title_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain exe") << "ktbctl.exe"
                               << "ktbctl";
    QTest::newRow("upper case") << "KTBCTL.EXE"
                                << "Ktbctl";
    QTest::newRow("cut at first dot") << "my.prog.exe"
                                      << "my";
    QTest::newRow("no extension, mixed case") << "MyProg"
                                              << "Myprog";
    QTest::newRow("linux binary") << "/usr/bin/ktbctl"
                                  << "ktbctl";
    QTest::newRow("dots in directories") << "/opt/ktb.v1/bin.d/Ktbctl"
                                         << "Ktbctl";
    QTest::newRow("first letter kept") << "/x/kTBCTL.bin"
                                       << "ktbctl";
}

void TestApplication::title()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(ktb::applicationTitle(path), title);
}

void TestApplication::reportText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ends in letter") << "Unable to write to /a/ktbctl.ini"
                                    << "Unable to write to /a/ktbctl.ini.";
    QTest::newRow("ends in digit") << "Error 5"
                                   << "Error 5.";
    QTest::newRow("ends in question mark") << "Why?"
                                           << "Why?.";
    QTest::newRow("ends in full stop") << "Specified device not found (COM3)."
                                       << "Specified device not found (COM3).";
    QTest::newRow("ends in parenthesis") << "Write error (5)"
                                         << "Write error (5)";
    QTest::newRow("ends in blank") << "trailing "
                                   << "trailing ";
    QTest::newRow("ends in comma") << "a,"
                                   << "a,";
    QTest::newRow("empty") << ""
                           << "";
}

void TestApplication::reportText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ktb::errorReportText(message), shown);
}

void TestApplication::centring_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QPoint>("corner");
    QTest::newRow("even") << QSize(1920, 1080) << QSize(241, 214) << QPoint(839, 433);
    QTest::newRow("odd sizes truncate") << QSize(801, 601) << QSize(240, 210) << QPoint(280, 195);
    QTest::newRow("screen smaller than window")
        << QSize(200, 150) << QSize(241, 214) << QPoint(0, 0);
    QTest::newRow("narrower only") << QSize(200, 800) << QSize(241, 214) << QPoint(0, 293);
}

void TestApplication::centring()
{
    QFETCH(QSize, screen);
    QFETCH(QSize, frame);
    QFETCH(QPoint, corner);
    QCOMPARE(ktb::centredPosition(screen, frame), corner);
}

void TestApplication::errorBoxCarriesTitleIconAndOk()
{
    auto &app = *qobject_cast<QApplication *>(QCoreApplication::instance());
    ktb::setUpApplication(app, QStringLiteral("/opt/ktb/Ktbctl.bin"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Ktbctl"));

    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        for (QAbstractButton *button : box->buttons())
            buttons << button->text().remove(u'&');
        box->button(QMessageBox::Ok)->click();
    });
    ktb::reportFailure(std::runtime_error("Can't perform this operation while port is open"));

    QCOMPARE(caption, QStringLiteral("Ktbctl"));
    QCOMPARE(text, QStringLiteral("Can't perform this operation while port is open."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
    ktb::setFailureReporter(nullptr);
}

void TestApplication::guardedHandlerReportsAndReturns()
{
    QStringList reports;
    ktb::setFailureReporter([&](const QString &text) { reports << text; });
    bool after = false;
    ktb::runGuarded([] { throw std::runtime_error("Unable to write to /x/ktbctl.ini"); });
    after = true;
    ktb::runGuarded([] {});
    QVERIFY(after);
    QCOMPARE(reports, QStringList{QStringLiteral("Unable to write to /x/ktbctl.ini.")});
    ktb::setFailureReporter(nullptr);
}

QTEST_MAIN(TestApplication)
#include "test_application.moc"
