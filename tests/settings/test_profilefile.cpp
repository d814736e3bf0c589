#include "rawfile.h"
#include "settings/profilefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace ktb::profile;

namespace {

using ktb::test::entries;
using ktb::test::writeRaw;

struct stat statOf(const QString &path)
{
    struct stat st = {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

class UmaskGuard
{
public:
    explicit UmaskGuard(mode_t mask) : old_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(old_); }

private:
    mode_t old_;
};

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

} // namespace

class TestProfileFile : public QObject
{
    Q_OBJECT

private slots:
    void readFileMissingOrDirectoryIsEmpty();
    void newFileHoldsSectionAndKey();
    void newFileModeFollowsUmask_data();
    void newFileModeFollowsUmask();
    void replaceKeepsModeAndOtherBytes();
    void replaceIsAtomicForOpenReaders();
    void writesThroughSymlink();
    void createsTargetOfDanglingSymlink();
    void refusedWriteCreatesNothing_data();
    void refusedWriteCreatesNothing();
    void inPlaceFallbackKeepsInode();
    void readOnlyDirectoryFallsBackToInPlace();
    void readOnlyOrUnreadableFileRefused_data();
    void readOnlyOrUnreadableFileRefused();
    void abandonedNewFilesAreRemoved();
};

void TestProfileFile::readFileMissingOrDirectoryIsEmpty()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(readFile(dir.filePath("missing.ini")), QByteArray());
    QCOMPARE(readFile(dir.path()), QByteArray());
    writeRaw(dir.filePath("a.ini"), "[General]\r\nA=1\r\n");
    QCOMPARE(readFile(dir.filePath("a.ini")), QByteArray("[General]\r\nA=1\r\n"));
}

void TestProfileFile::newFileHoldsSectionAndKey()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    QVERIFY(putValue(path, "General", "Frequency", "100000"));
    QVERIFY(putValue(path, "General", "Level", "115"));
    QCOMPARE(readFile(path), QByteArray("[General]\nFrequency=100000\nLevel=115\n"));
    QCOMPARE(entries(dir.path()), QStringList{"ktbctl.ini"});
}

void TestProfileFile::newFileModeFollowsUmask_data()
{
    QTest::addColumn<uint>("mask");
    QTest::addColumn<uint>("mode");
    QTest::newRow("umask 022") << 022u << 0644u;
    QTest::newRow("umask 077") << 077u << 0600u;
}

void TestProfileFile::newFileModeFollowsUmask()
{
    QFETCH(uint, mask);
    QFETCH(uint, mode);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const UmaskGuard guard(mask);
    const QString path = dir.filePath("ktbctl.ini");
    QVERIFY(putValue(path, "General", "A", "1"));
    QCOMPARE(uint(statOf(path).st_mode & 07777), mode);
}

void TestProfileFile::replaceKeepsModeAndOtherBytes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    writeRaw(path, "[General]\r\nA=1\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
    QVERIFY(putValue(path, "General", "A", "2"));
    QCOMPARE(readFile(path), QByteArray("[General]\r\nA=2\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n"));
    QCOMPARE(uint(statOf(path).st_mode & 07777), 0640u);
    QCOMPARE(entries(dir.path()), QStringList{"ktbctl.ini"});
}

void TestProfileFile::replaceIsAtomicForOpenReaders()
{
    // A reader that opened the file before the write still sees the whole old
    // content: the new file replaced the old one instead of overwriting it.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    const QByteArray old = "[General]\nA=1\n";
    writeRaw(path, old);
    QFile reader(path);
    QVERIFY(reader.open(QIODevice::ReadOnly));
    const ino_t oldInode = statOf(path).st_ino;

    QVERIFY(putValue(path, "General", "A", "2"));
    QCOMPARE(reader.readAll(), old);
    QCOMPARE(readFile(path), QByteArray("[General]\nA=2\n"));
    QVERIFY(statOf(path).st_ino != oldInode);
}

void TestProfileFile::writesThroughSymlink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir("real"));
    const QString target = dir.filePath("real/ktbctl.ini");
    const QString link = dir.filePath("ktbctl.ini");
    writeRaw(target, "[General]\nA=1\n");
    // Relative, as links made by hand often are: resolved against the link's folder.
    QVERIFY(QFile::link("real/ktbctl.ini", link));

    QVERIFY(putValue(link, "General", "A", "2"));
    QVERIFY(S_ISLNK(statOf(link).st_mode));
    QCOMPARE(readFile(target), QByteArray("[General]\nA=2\n"));
    QCOMPARE(entries(dir.filePath("real")), QStringList{"ktbctl.ini"});
}

void TestProfileFile::createsTargetOfDanglingSymlink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("ktbctl.ini");
    QVERIFY(QFile::link(dir.filePath("elsewhere.ini"), link));
    QVERIFY(putValue(link, "General", "A", "1"));
    QVERIFY(S_ISLNK(statOf(link).st_mode));
    QCOMPARE(readFile(dir.filePath("elsewhere.ini")), QByteArray("[General]\nA=1\n"));
}

void TestProfileFile::refusedWriteCreatesNothing_data()
{
    // Each of these stops root as well as anyone else.
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("directory does not exist") << ""
                                              << "missing/ktbctl.ini";
    QTest::newRow("parent is a regular file") << "file"
                                              << "file/ktbctl.ini";
    QTest::newRow("path is a directory") << "dir"
                                         << "dir";
    QTest::newRow("symlink into missing directory") << "link"
                                                    << "link";
}

void TestProfileFile::refusedWriteCreatesNothing()
{
    QFETCH(QString, setup);
    QFETCH(QString, relativePath);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (setup == "file")
        writeRaw(dir.filePath("file"), "not a directory");
    else if (setup == "dir")
        QVERIFY(QDir(dir.path()).mkdir("dir"));
    else if (setup == "link")
        QVERIFY(QFile::link(dir.filePath("missing/ktbctl.ini"), dir.filePath("link")));
    const QStringList before = entries(dir.path());

    QVERIFY(!putValue(dir.filePath(relativePath), "General", "A", "1"));
    QVERIFY(!writeFile(dir.filePath(relativePath), "[General]\nA=1\n"));
    QCOMPARE(entries(dir.path()), before);
    if (setup == "dir")
        QCOMPARE(entries(dir.filePath("dir")), QStringList());
    if (setup == "file")
        QCOMPARE(readFile(dir.filePath("file")), QByteArray("not a directory"));
}

void TestProfileFile::inPlaceFallbackKeepsInode()
{
    // The fallback itself, which root-run tests cannot reach through permissions.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    writeRaw(path, "[General]\nA=1\nB=a much longer value than what replaces it\n");
    const ino_t inode = statOf(path).st_ino;
    QVERIFY(overwriteInPlace(path, "[General]\nA=2\n"));
    QCOMPARE(readFile(path), QByteArray("[General]\nA=2\n"));
    QCOMPARE(statOf(path).st_ino, inode);

    // Only for a file that exists: it never creates one.
    QVERIFY(!overwriteInPlace(dir.filePath("new.ini"), "x"));
    QCOMPARE(entries(dir.path()), QStringList{"ktbctl.ini"});
}

void TestProfileFile::readOnlyDirectoryFallsBackToInPlace()
{
    if (runningAsRoot())
        QSKIP("root writes into a read-only directory; inPlaceFallbackKeepsInode covers this");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir("ro"));
    const QString roDir = dir.filePath("ro");
    const QString path = roDir + "/ktbctl.ini";
    writeRaw(path, "[General]\nA=1\n");
    const ino_t inode = statOf(path).st_ino;
    QVERIFY(::chmod(QFile::encodeName(roDir).constData(), 0555) == 0);

    const bool written = putValue(path, "General", "A", "2");
    const bool newFileWritten = putValue(roDir + "/new.ini", "General", "A", "1");
    ::chmod(QFile::encodeName(roDir).constData(), 0755);

    QVERIFY(written);
    QCOMPARE(readFile(path), QByteArray("[General]\nA=2\n"));
    QCOMPARE(statOf(path).st_ino, inode);
    QVERIFY(!newFileWritten);
    QCOMPARE(entries(roDir), QStringList{"ktbctl.ini"});
}

void TestProfileFile::readOnlyOrUnreadableFileRefused_data()
{
    QTest::addColumn<uint>("mode");
    QTest::newRow("read-only file") << 0444u;
    QTest::newRow("write-only file") << 0200u;
}

void TestProfileFile::readOnlyOrUnreadableFileRefused()
{
    // A read-only file is not replaced behind its owner's back, and a file that
    // cannot be read is not rewritten from nothing.
    if (runningAsRoot())
        QSKIP("permission bits do not stop root; refusedWriteCreatesNothing covers refusal");
    QFETCH(uint, mode);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    writeRaw(path, "[General]\nA=1\n");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode) == 0);

    const bool written = putValue(path, "General", "A", "2");
    ::chmod(QFile::encodeName(path).constData(), 0644);
    QVERIFY(!written);
    QCOMPARE(readFile(path), QByteArray("[General]\nA=1\n"));
    QCOMPARE(entries(dir.path()), QStringList{"ktbctl.ini"});
}

void TestProfileFile::abandonedNewFilesAreRemoved()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("ktbctl.ini");
    // What a save killed before its rename leaves: one long ago, one just now,
    // which may still belong to a save in progress, and a stranger's file.
    const QString old = dir.filePath(".ktbctl.ini.1a2b.tmp");
    const QString recent = dir.filePath(".ktbctl.ini.3c4d.tmp");
    const QString other = dir.filePath(".other.ini.5e6f.tmp");
    for (const QString &name : {old, recent, other})
        writeRaw(name, "[General]\nFrequency=1");
    for (const QString &name : {old, other}) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
    }

    QVERIFY(putValue(path, "General", "Level", "115"));
    QVERIFY(!QFile::exists(old));
    QVERIFY(QFile::exists(recent));
    QVERIFY(QFile::exists(other));
    QCOMPARE(readFile(path), QByteArray("[General]\nLevel=115\n"));
}

QTEST_GUILESS_MAIN(TestProfileFile)
#include "test_profilefile.moc"
