#pragma once

#include <QString>

namespace ktb {

// The port's name: the pattern with "%d" replaced by the number in decimal
// ("COM%d", 3 -> "COM3"; 0 -> "COM0").
QString deviceName(const QString &pattern, int portNum);

// The device a port name stands for when no mapping is configured: "COMn" (n >= 1)
// is the n-th built-in serial port, /dev/ttyS{n-1}. Any other name (COM0 included)
// names no device and gives an empty string.
QString defaultDevicePath(const QString &deviceName);

} // namespace ktb
