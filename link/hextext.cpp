#include "hextext.h"

namespace ktb {

QString hexText(QByteArrayView bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text += QLatin1Char(digits[value >> 4]);
        text += QLatin1Char(digits[value & 0x0F]);
        text += QLatin1Char(' ');
    }
    return text;
}

} // namespace ktb
