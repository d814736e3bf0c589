// One load (the five keys of [General] read) and one save (the five written) of a
// realistic settings file, against QSettings doing the same on the same file.
//
// Prints one line per figure: a label, then the time of each iteration in
// microseconds. The file lives beside this executable, on the disk the program's
// own settings file would be on, since a save syncs it to that disk.

#include "settings/inifile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <vector>

namespace {

// A save syncs the file to disk five times (each write replaces the file), which
// takes milliseconds to tens of them; a load is a few reads. Enough of each for a
// stable median in a few seconds.
constexpr int loads = 200;
constexpr int saves = 25;

const char realisticFile[] = "[General]\r\n"
                             "Frequency=100000\r\n"
                             "Level=115\r\n"
                             "Preemphasis=0\r\n"
                             "PortNum=0\r\n"
                             "Send=0\r\n"
                             "\r\n"
                             "[Ports]\r\n"
                             "; the adapter on the bench\r\n"
                             "COM1=/dev/serial/by-id/usb-bench-adapter-if00-port0\r\n";

const char *const keys[] = {"Frequency", "Level", "Preemphasis", "PortNum", "Send"};

template <typename Body> void report(const char *label, int iterations, Body body)
{
    std::vector<qint64> samples;
    samples.reserve(iterations);
    for (int i = 0; i < iterations; ++i) {
        QElapsedTimer timer;
        timer.start();
        body(i);
        samples.push_back(timer.nsecsElapsed());
    }
    std::printf("%s", label);
    for (qint64 ns : samples)
        std::printf(" %.3f", ns / 1000.0);
    std::printf("\n");
}

bool writeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(realisticFile) == qint64(sizeof realisticFile - 1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + "/settings-XXXXXX");
    const QString path = dir.filePath("ktbctl.ini");
    const QString qtPath = dir.filePath("qsettings.ini");
    if (!dir.isValid() || !writeFile(path) || !writeFile(qtPath)) {
        std::fprintf(stderr, "bench_settings: cannot write a settings file beside the program\n");
        return 1;
    }

    std::int32_t sink = 0;
    report("tinifile_load_us", loads, [&](int) {
        const TIniFile ini(path);
        for (const char *key : keys)
            sink += ini.ReadInteger("General", key, 0);
    });
    report("tinifile_save_us", saves, [&](int i) {
        TIniFile ini(path);
        for (const char *key : keys)
            ini.WriteInteger("General", key, i);
    });
    report("qsettings_load_us", loads, [&](int) {
        const QSettings ini(qtPath, QSettings::IniFormat);
        for (const char *key : keys)
            sink += ini.value(QStringLiteral("General/") + key).toInt();
    });
    report("qsettings_save_us", saves, [&](int i) {
        QSettings ini(qtPath, QSettings::IniFormat);
        for (const char *key : keys)
            ini.setValue(QStringLiteral("General/") + key, i);
        ini.sync();
    });

    // What was read must have been read, or the loads could be dropped as unused.
    const TIniFile check(path);
    if (check.ReadInteger("General", "Level", -1) != saves - 1 || sink < 0) {
        std::fprintf(stderr, "bench_settings: the saved values did not read back\n");
        return 1;
    }
    return 0;
}
