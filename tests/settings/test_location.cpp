#include "rawfile.h"
#include "settings/location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace ktb;

namespace {

using ktb::test::readRaw;
using ktb::test::writeRaw;

// Sets an environment variable for one test and puts the old value back.
class EnvGuard
{
public:
    EnvGuard(const char *name, const QByteArray &value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~EnvGuard()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char *name_;
    bool had_;
    QByteArray old_;
};

} // namespace

class TestLocation : public QObject
{
    Q_OBJECT

private slots:
    void programDirectoryIsTheExecutablesFolder();
    void configHomeFromEnvironment_data();
    void configHomeFromEnvironment();
    void writableProgramDirectoryHoldsTheFile();
    void readOnlyProgramDirectoryUsesPerUserFile();
    void prepareCopiesSharedFileOnce();
    void prepareWithoutSharedFileCreatesOnlyDirectory();
    void realReadOnlyProgramDirectory();
};

void TestLocation::programDirectoryIsTheExecutablesFolder()
{
    const QString dir = programDirectory();
    QVERIFY(dir.endsWith('/'));
    QCOMPARE(dir, QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath() + '/');
    QVERIFY(QFileInfo::exists(dir + QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
}

void TestLocation::configHomeFromEnvironment_data()
{
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QString>("expected"); // relative to $HOME when not absolute
    QTest::newRow("absolute XDG_CONFIG_HOME") << QByteArray("/srv/conf") << "/srv/conf";
    QTest::newRow("empty XDG_CONFIG_HOME") << QByteArray() << ".config";
    QTest::newRow("relative XDG_CONFIG_HOME ignored") << QByteArray("conf") << ".config";
}

void TestLocation::configHomeFromEnvironment()
{
    QFETCH(QByteArray, xdg);
    QFETCH(QString, expected);
    const EnvGuard home("HOME", "/home/op");
    const EnvGuard config("XDG_CONFIG_HOME", xdg);
    QCOMPARE(configHome(), expected.startsWith('/') ? expected : "/home/op/" + expected);
}

void TestLocation::writableProgramDirectoryHoldsTheFile()
{
    QTemporaryDir program;
    QVERIFY(program.isValid());
    const QString dir = program.path() + '/';
    const SettingsLocation location = settingsLocation(dir, true, "/nonexistent/config");
    QCOMPARE(location.readPath, dir + "ktbctl.ini");
    QCOMPARE(location.writePath, dir + "ktbctl.ini");
    QCOMPARE(prepareWritePath(location), dir + "ktbctl.ini");
    QVERIFY(!QFileInfo::exists("/nonexistent/config"));

    // The environment-reading overload agrees for a directory we may write.
    QCOMPARE(settingsLocation(dir).writePath, dir + "ktbctl.ini");
}

void TestLocation::readOnlyProgramDirectoryUsesPerUserFile()
{
    QTemporaryDir program;
    QTemporaryDir config;
    QVERIFY(program.isValid() && config.isValid());
    const QString dir = program.path() + '/';
    const QString personal = config.path() + "/ktbctl/ktbctl.ini";

    // Until the per-user file exists, the shared one is read.
    SettingsLocation location = settingsLocation(dir, false, config.path());
    QCOMPARE(location.readPath, dir + "ktbctl.ini");
    QCOMPARE(location.writePath, personal);

    QVERIFY(QDir(config.path()).mkdir("ktbctl"));
    writeRaw(personal, "[General]\nLevel=100\n");
    location = settingsLocation(dir, false, config.path());
    QCOMPARE(location.readPath, personal);
    QCOMPARE(location.writePath, personal);
}

void TestLocation::prepareCopiesSharedFileOnce()
{
    QTemporaryDir program;
    QTemporaryDir config;
    QVERIFY(program.isValid() && config.isValid());
    const QString dir = program.path() + '/';
    const QByteArray shared = "[General]\r\nFrequency=98500\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n";
    writeRaw(dir + "ktbctl.ini", shared);

    const SettingsLocation location = settingsLocation(dir, false, config.path() + "/deep");
    const QString path = prepareWritePath(location);
    QCOMPARE(path, config.path() + "/deep/ktbctl/ktbctl.ini");
    QCOMPARE(readRaw(path), shared);

    // Once the per-user file exists it is never overwritten from the shared one.
    writeRaw(path, "[General]\nFrequency=100000\n");
    QCOMPARE(prepareWritePath(location), path);
    QCOMPARE(readRaw(path), QByteArray("[General]\nFrequency=100000\n"));
    QCOMPARE(readRaw(dir + "ktbctl.ini"), shared);
}

void TestLocation::prepareWithoutSharedFileCreatesOnlyDirectory()
{
    QTemporaryDir program;
    QTemporaryDir config;
    QVERIFY(program.isValid() && config.isValid());
    const QString dir = program.path() + '/';
    const QString path = prepareWritePath(settingsLocation(dir, false, config.path()));
    QCOMPARE(path, config.path() + "/ktbctl/ktbctl.ini");
    QVERIFY(QFileInfo(config.path() + "/ktbctl").isDir());
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!QFileInfo::exists(dir + "ktbctl.ini"));
}

void TestLocation::realReadOnlyProgramDirectory()
{
    if (::geteuid() == 0)
        QSKIP("root may write any directory; the decision is tested with injected writability");
    QTemporaryDir program;
    QTemporaryDir config;
    QVERIFY(program.isValid() && config.isValid());
    const QString dir = program.path() + '/';
    const EnvGuard xdg("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const QByteArray native = QFile::encodeName(program.path());

    QVERIFY(::chmod(native.constData(), 0555) == 0);
    const SettingsLocation readOnly = settingsLocation(dir);
    QVERIFY(::chmod(native.constData(), 0755) == 0);
    QCOMPARE(readOnly.writePath, config.path() + "/ktbctl/ktbctl.ini");

    // A writable file in a read-only directory still counts as writable.
    writeRaw(dir + "ktbctl.ini", "[General]\n");
    QVERIFY(::chmod(native.constData(), 0555) == 0);
    const SettingsLocation fileWritable = settingsLocation(dir);
    QVERIFY(::chmod(native.constData(), 0755) == 0);
    QCOMPARE(fileWritable.writePath, dir + "ktbctl.ini");
}

QTEST_GUILESS_MAIN(TestLocation)
#include "test_location.moc"
