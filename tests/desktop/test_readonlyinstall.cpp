// The program installed where its user may not write, as /usr/bin is: run by
// an ordinary user, it must keep its settings in that user's configuration
// folder, starting from the file installed beside it, and leave the program
// folder exactly as it was.

#include "xsession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace ktb::test;

namespace {

// nobody/nogroup: owns nothing on the machine, so the program folder is
// read-only to it however the test run itself is set up.
constexpr uid_t unprivilegedUid = 65534;
constexpr gid_t unprivilegedGid = 65534;

// Everything a write into the folder would change: the folder's own
// modification time too, which moves when a file is created there and even
// when it is removed again.
QStringList snapshot(const QString &dir)
{
    QStringList entries;
    struct stat st
    {};
    if (::stat(QFile::encodeName(dir).constData(), &st) == 0)
        entries << QStringLiteral(". mode=%1 mtime=%2.%3")
                       .arg(st.st_mode, 0, 8)
                       .arg(st.st_mtim.tv_sec)
                       .arg(st.st_mtim.tv_nsec);
    for (const QString &name : QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                   QDir::NoDotAndDotDot)) {
        const QString path = dir + u'/' + name;
        QFile file(path);
        QByteArray hash;
        if (file.open(QIODevice::ReadOnly))
            hash = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
        ::lstat(QFile::encodeName(path).constData(), &st);
        entries << QStringLiteral("%1 mode=%2 uid=%3 size=%4 mtime=%5.%6 sha256=%7")
                       .arg(name)
                       .arg(st.st_mode, 0, 8)
                       .arg(st.st_uid)
                       .arg(st.st_size)
                       .arg(st.st_mtim.tv_sec)
                       .arg(st.st_mtim.tv_nsec)
                       .arg(QString::fromLatin1(hash));
    }
    return entries;
}

bool setMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

bool giveToUnprivileged(const QString &path)
{
    return ::chown(QFile::encodeName(path).constData(), unprivilegedUid, unprivilegedGid) == 0;
}

} // namespace

class TestReadOnlyInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void userSettingsGoToTheConfigFolder();

private:
    Xvfb xvfb_;
    std::unique_ptr<XDriver> x_;
};

void TestReadOnlyInstall::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed (tools/setup-deps.sh installs it)");
    const QString error = openSession(xvfb_, x_);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestReadOnlyInstall::userSettingsGoToTheConfigFolder()
{
    const bool root = ::geteuid() == 0;
    if (root && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("running as root without setpriv (util-linux) to run the program as a user");

    // Under /tmp, which every user may pass through, whatever TMPDIR says.
    QTemporaryDir base(QStringLiteral("/tmp/ktbctl-readonly-XXXXXX"));
    QVERIFY(base.isValid());
    QVERIFY(setMode(base.path(), 0755));
    const QString programDir = base.filePath(QStringLiteral("bin"));
    const QString home = base.filePath(QStringLiteral("home"));
    const QString runtime = home + QStringLiteral("/runtime");
    QVERIFY(QDir().mkpath(programDir));
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(setMode(runtime, 0700));

    const QString exe = programDir + QStringLiteral("/ktbctl");
    QVERIFY(QFile::copy(QStringLiteral(KTBCTL_PATH), exe));
    // The file installed beside the program: a frequency of its own, a port
    // map and a section this program does not know, all of which the user's
    // file must start from.
    {
        QFile shared(programDir + QStringLiteral("/ktbctl.ini"));
        QVERIFY(shared.open(QIODevice::WriteOnly));
        shared.write("[General]\nFrequency=90000\n[Ports]\nCOM3=/nonexistent/ttyKTB\n"
                     "[Site]\nMast=North\n");
    }
    QVERIFY(setMode(exe, 0555));
    QVERIFY(setMode(programDir + QStringLiteral("/ktbctl.ini"), 0444));
    QVERIFY(setMode(programDir, 0555));
    auto restoreMode = qScopeGuard([&] { setMode(programDir, 0755); });

    QString program = exe;
    QStringList arguments;
    if (root) {
        // The folder is root's; the program runs as nobody, to whom it is read-only.
        QVERIFY(giveToUnprivileged(home));
        QVERIFY(giveToUnprivileged(runtime));
        QVERIFY(setMode(home, 0700));
        program = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        arguments = {QStringLiteral("--reuid=%1").arg(unprivilegedUid),
                     QStringLiteral("--regid=%1").arg(unprivilegedGid),
                     QStringLiteral("--clear-groups"), exe};
    } else {
        // Not root: no other user to become, but a 0555 folder of our own is
        // read-only to us just the same.
        if (::access(QFile::encodeName(programDir).constData(), W_OK) == 0)
            QSKIP("the read-only program folder is still writable to this user");
        qInfo("not root: the program runs as this user, no privileges are dropped");
    }
    const QStringList before = snapshot(programDir);

    QProcessEnvironment env = programEnvironment(xvfb_.display());
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(home);
    process.start(program, arguments);
    QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));
    auto stop = qScopeGuard([&process] {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    });

    const auto window = x_->waitForWindow(process.processId());
    QVERIFY2(window, qPrintable(QStringLiteral("no window appeared; stderr: ") +
                                QString::fromLocal8Bit(process.readAllStandardError())));
    QVERIFY2(x_->requestClose(window), "the window does not take WM_DELETE_WINDOW");
    QVERIFY2(process.waitForFinished(20000), "still running after the close request");
    const QString stderrText = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 0, qPrintable(stderrText));

    const QString personal = home + QStringLiteral("/.config/ktbctl/ktbctl.ini");
    QVERIFY2(QFile::exists(personal), qPrintable(QStringLiteral("no ") + personal +
                                                 QStringLiteral("; stderr: ") + stderrText));
    if (root) {
        struct stat st
        {};
        QCOMPARE(::stat(QFile::encodeName(personal).constData(), &st), 0);
        QCOMPARE(st.st_uid, unprivilegedUid);
    }
    const QString general = QStringLiteral("General");
    const QStringList expected{QStringLiteral("Frequency"), QStringLiteral("Level"),
                               QStringLiteral("Preemphasis"), QStringLiteral("PortNum"),
                               QStringLiteral("Send")};
    QCOMPARE(sectionKeys(personal, general), expected);
    QCOMPARE(sectionValue(personal, general, QStringLiteral("Frequency")), QStringLiteral("90000"));
    QCOMPARE(sectionValue(personal, QStringLiteral("Ports"), QStringLiteral("COM3")),
             QStringLiteral("/nonexistent/ttyKTB"));
    QCOMPARE(sectionValue(personal, QStringLiteral("Site"), QStringLiteral("Mast")),
             QStringLiteral("North"));

    QCOMPARE(snapshot(programDir), before);
}

QTEST_GUILESS_MAIN(TestReadOnlyInstall)
#include "test_readonlyinstall.moc"
