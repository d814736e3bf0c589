#include "devicepath.h"

namespace ktb {

QString deviceName(const QString &pattern, int portNum)
{
    return QString(pattern).replace(QLatin1String("%d"), QString::number(portNum));
}

QString defaultDevicePath(const QString &deviceName)
{
    static const QLatin1String prefix("COM");
    if (!deviceName.startsWith(prefix))
        return {};
    const QStringView digits = QStringView(deviceName).mid(prefix.size());
    // Only the canonical spelling: no sign, no blanks, no leading zero.
    if (digits.isEmpty() || digits.front() == u'0')
        return {};
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return {};
    }
    bool ok = false;
    const int n = digits.toInt(&ok);
    if (!ok)
        return {};
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

} // namespace ktb
