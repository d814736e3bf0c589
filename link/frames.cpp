#include "frames.h"

namespace ktb {
namespace {

constexpr std::uint8_t lowByte(std::int32_t value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

} // namespace

Frame frequencyFrame(std::int32_t kHz)
{
    // C++ division truncates toward zero and the remainder takes the dividend's sign,
    // which is the encoding the module expects.
    const std::int32_t f = kHz / 10;
    return {0x01, lowByte(f / 256), lowByte(f % 256)};
}

Frame levelFrame(std::int32_t dBuV)
{
    return {0x02, lowByte(dBuV), 0x00};
}

Frame fixedFrame()
{
    return {0x03, 0x00, 0x00};
}

Frame preemphasisFrame(int index)
{
    return {0x04, 0x00, lowByte(index)};
}

std::array<Frame, 4> passFrames(std::int32_t kHz, std::int32_t dBuV, int preemphasisIndex)
{
    return {frequencyFrame(kHz), levelFrame(dBuV), fixedFrame(),
            preemphasisFrame(preemphasisIndex)};
}

} // namespace ktb
