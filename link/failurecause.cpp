#include "failurecause.h"

#include <cerrno>
#include <cstring>

namespace ktb {

QString failureCause(const QString &linkMessage)
{
    const QString permissionCode = QStringLiteral("(Error %1,").arg(EACCES);
    if (linkMessage.contains(permissionCode))
        return linkMessage +
               QStringLiteral(" - your user must be in the group that owns the device "
                              "(usually dialout); log in again after adding it");
    return linkMessage;
}

} // namespace ktb
