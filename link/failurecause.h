#pragma once

#include <QString>

namespace ktb {

// One line that says why a send failed, for the response box's tooltip and the
// terminal: the link's own message, and for a refused permission what to do.
QString failureCause(const QString &linkMessage);

} // namespace ktb
