#pragma once

#include "frame.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ktb {

// What the simulator sends back for each complete frame: the frame itself (echo),
// or a fixed byte string, which is empty for "none".
struct Reply
{
    bool echo = true;
    std::vector<std::uint8_t> fixed;

    bool operator==(const Reply &) const = default;
};

struct SimOptions
{
    std::string linkPath; // empty: no symlink
    std::string logPath;  // empty: no frame log
    Reply reply;
    bool help = false;
};

struct ParsedArguments
{
    SimOptions options;
    std::string error; // empty when the arguments are valid
};

// Parses the arguments after the program name. "--opt VALUE" and "--opt=VALUE" are
// both accepted; a later option of the same name wins.
ParsedArguments parseArguments(std::span<const std::string_view> args);

// Parses a --reply value: "echo", "none", "ack:HEX" (exactly one byte, one or two hex
// digits) or "hex:HEXBYTES" (one or more bytes as contiguous pairs of hex digits, e.g.
// "06A5"). Returns false on anything else.
bool parseReply(std::string_view text, Reply &reply);

std::vector<std::uint8_t> replyTo(const Reply &reply, const Frame &frame);

std::string_view usageText();

} // namespace ktb
