#pragma once

#include <array>
#include <cstdint>

namespace ktb {

// A command frame: a code byte and two data bytes, always written as one unit.
using Frame = std::array<std::uint8_t, 3>;

// F = kHz / 10 (truncating), sent as quotient and remainder by 256.
Frame frequencyFrame(std::int32_t kHz);
// The level travels in the first data byte.
Frame levelFrame(std::int32_t dBuV);
Frame fixedFrame();
// The index travels in the second data byte; no selection (-1) gives 0xFF.
Frame preemphasisFrame(int index);

// One pass: frequency, level, fixed, pre-emphasis.
std::array<Frame, 4> passFrames(std::int32_t kHz, std::int32_t dBuV, int preemphasisIndex);

} // namespace ktb
