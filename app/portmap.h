#pragma once

#include <QString>

namespace ktb {

// The device a port name such as "COM1" stands for: the key of that name in the
// [Ports] section of the settings file when present, else the usual serial
// device. Empty when the name stands for no device (COM0).
QString portDevicePath(const QString &deviceName, const QString &programDir);

} // namespace ktb
