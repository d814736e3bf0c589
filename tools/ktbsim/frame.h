#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace ktb {

using Frame = std::array<std::uint8_t, 3>;

// Two upper-case hex digits per byte, separated by single spaces ("01 27 10"),
// the same text the program's response box shows.
std::string hexText(std::span<const std::uint8_t> bytes);

// One line for a received command frame: "frequency 100000 kHz", "level 115 dBuV",
// "fixed", "pre-emphasis 75 us (US)". Anything that is not exactly one of the four
// frames the program sends (unknown code, a data byte that should be zero but is not,
// a pre-emphasis index outside 0..2) is "raw " followed by its hex text, so a wrong
// byte on the wire is never decoded into a plausible-looking value.
std::string describeFrame(const Frame &frame);

} // namespace ktb
