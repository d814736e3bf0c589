#include "settings/location.h"

#include "settings/profilefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace ktb {
namespace {

const QString SettingsFileName = QStringLiteral("ktbctl.ini");

bool writableByUs(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

} // namespace

QString programDirectory()
{
    // /proc/self/exe names the executable itself, whatever link or current
    // directory it was started through.
    QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (exe.isEmpty())
        exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return exe.left(exe.lastIndexOf(u'/') + 1);
}

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative value is invalid by the XDG base directory rules and ignored.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

SettingsLocation settingsLocation(const QString &programDir)
{
    const bool writable = writableByUs(programDir) || writableByUs(programDir + SettingsFileName);
    return settingsLocation(programDir, writable, configHome());
}

SettingsLocation settingsLocation(const QString &programDir, bool programDirWritable,
                                  const QString &configHomeDir)
{
    const QString shared = programDir + SettingsFileName;
    if (programDirWritable)
        return {shared, shared};
    const QString personal = configHomeDir + QStringLiteral("/ktbctl/") + SettingsFileName;
    return {QFileInfo::exists(personal) ? personal : shared, personal};
}

QString prepareWritePath(const SettingsLocation &location)
{
    if (location.writePath == location.readPath)
        return location.writePath;
    QDir().mkpath(QFileInfo(location.writePath).absolutePath());
    if (!QFileInfo::exists(location.writePath) && QFileInfo::exists(location.readPath))
        profile::writeFile(location.writePath, profile::readFile(location.readPath));
    return location.writePath;
}

} // namespace ktb
