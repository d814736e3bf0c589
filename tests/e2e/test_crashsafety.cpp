// A settings write killed at a random moment leaves the file whole: the old
// content or the new one, never a torn mix of the two, and at most the one
// temporary file that the killed write had open.

#include "crashstates.h"
#include "e2eprocess.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

using namespace ktb::e2e;

class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killedWriterLeavesAWholeFile();
};

void TestCrashSafety::killedWriterLeavesAWholeFile()
{
    constexpr int kills = 200;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    const QList<QByteArray> possible = crash::possibleContents();
    QList<int> seen(possible.size(), 0);

    const quint32 start = QRandomGenerator::global()->generate();
    QRandomGenerator random(start);
    qInfo("random delays from generator start value %u", start);

    qsizetype temporaries = 0;
    for (int round = 0; round < kills; ++round) {
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(crash::content(crash::valuesA));
        }
        Child writer;
        QVERIFY(writer.start(QStringLiteral(SETTINGS_WRITER_PATH), {path}));
        QCOMPARE(writer.out.next(1), QStringList{"writing"});
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(5001)));
        QVERIFY(writer.running()); // it writes for ever: only the kill ends it
        QVERIFY(writer.kill(SIGKILL));
        QCOMPARE(writer.err.rest(), QByteArray());

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const qsizetype state = possible.indexOf(file.readAll());
        QVERIFY2(state >= 0,
                 qPrintable(QString("round %1: the file is no whole state").arg(round)));
        ++seen[state];

        // Only the file itself and the writer's temporaries, one at most per kill.
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        QVERIFY(names.removeOne("ktbctl.ini"));
        for (const QString &name : names)
            QVERIFY2(name.startsWith(".ktbctl.ini.") && name.endsWith(".tmp"), qPrintable(name));
        QVERIFY2(names.size() <= temporaries + 1, qPrintable(names.join(' ')));
        temporaries = names.size();
    }

    QStringList histogram;
    for (int count : seen)
        histogram << QString::number(count);
    qInfo("kills per state (A..., then B...): %s; temporaries left: %lld",
          qPrintable(histogram.join(' ')), qlonglong(temporaries));
    // Unless some kills landed after a write had gone through, the run proved nothing.
    QVERIFY2(seen.first() < kills, "every kill came before the first write finished");
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crashsafety.moc"
