#include "frame.h"

namespace ktb {

std::string hexText(std::span<const std::uint8_t> bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::string describeFrame(const Frame &frame)
{
    const auto [code, data1, data2] = frame;
    switch (code) {
    case 0x01:
        // F is the frequency in 10 kHz units, big-endian; every value is meaningful.
        return "frequency " + std::to_string(((data1 << 8) | data2) * 10) + " kHz";
    case 0x02:
        if (data2 == 0)
            return "level " + std::to_string(data1) + " dBuV";
        break;
    case 0x03:
        if (data1 == 0 && data2 == 0)
            return "fixed";
        break;
    case 0x04: {
        static constexpr const char *names[] = {"75 us (US)", "50 us (EU, JP)", "none"};
        if (data1 == 0 && data2 < std::size(names))
            return std::string("pre-emphasis ") + names[data2];
        break;
    }
    default:
        break;
    }
    return "raw " + hexText(frame);
}

} // namespace ktb
