#include "portmap.h"

#include "link/devicepath.h"
#include "settings/inifile.h"
#include "settings/location.h"

namespace ktb {

QString portDevicePath(const QString &deviceName, const QString &programDir)
{
    const TIniFile ini(settingsLocation(programDir).readPath);
    const QString mapped = ini.ReadString(QStringLiteral("Ports"), deviceName, QString());
    if (!mapped.isEmpty())
        return mapped;
    return defaultDevicePath(deviceName);
}

} // namespace ktb
