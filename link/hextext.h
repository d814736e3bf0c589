#pragma once

#include <QByteArrayView>
#include <QString>

namespace ktb {

// Received bytes as the response box shows them: two upper-case hexadecimal
// digits and one space per byte, "06 00 A5 " for 06 00 A5.
QString hexText(QByteArrayView bytes);

} // namespace ktb
