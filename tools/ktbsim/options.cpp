#include "options.h"

#include <optional>

namespace ktb {

namespace {

std::optional<std::uint8_t> hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return std::nullopt;
}

// Contiguous pairs of hex digits, at least one pair.
std::optional<std::vector<std::uint8_t>> hexPairs(std::string_view text)
{
    if (text.empty() || text.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const auto high = hexDigit(text[i]);
        const auto low = hexDigit(text[i + 1]);
        if (!high || !low)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*high << 4 | *low));
    }
    return bytes;
}

} // namespace

bool parseReply(std::string_view text, Reply &reply)
{
    if (text == "echo") {
        reply = Reply{};
        return true;
    }
    if (text == "none") {
        reply = Reply{false, {}};
        return true;
    }
    if (text.starts_with("ack:")) {
        std::string_view digits = text.substr(4);
        // One digit is allowed for convenience ("ack:6"); pad it to a pair.
        const std::string padded =
            digits.size() == 1 ? "0" + std::string(digits) : std::string(digits);
        const auto bytes = hexPairs(padded);
        if (!bytes || bytes->size() != 1)
            return false;
        reply = Reply{false, *bytes};
        return true;
    }
    if (text.starts_with("hex:")) {
        const auto bytes = hexPairs(text.substr(4));
        if (!bytes)
            return false;
        reply = Reply{false, *bytes};
        return true;
    }
    return false;
}

ParsedArguments parseArguments(std::span<const std::string_view> args)
{
    ParsedArguments result;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.options.help = true;
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string_view> value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != arg.npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (name != "--link" && name != "--log" && name != "--reply") {
            result.error = "unknown argument '" + std::string(arg) + "'";
            return result;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                result.error = "missing value for " + std::string(name);
                return result;
            }
            value = args[++i];
        }
        if (value->empty()) {
            result.error = "empty value for " + std::string(name);
            return result;
        }
        if (name == "--link") {
            result.options.linkPath = *value;
        } else if (name == "--log") {
            result.options.logPath = *value;
        } else if (!parseReply(*value, result.options.reply)) {
            result.error = "bad reply mode '" + std::string(*value) + "'";
            return result;
        }
    }
    return result;
}

std::vector<std::uint8_t> replyTo(const Reply &reply, const Frame &frame)
{
    if (reply.echo)
        return {frame.begin(), frame.end()};
    return reply.fixed;
}

std::string_view usageText()
{
    return R"(usage: ktbsim [--link PATH] [--reply MODE] [--log FILE] [--help]

Simulated KTB7840 transmitter module on a pseudo-terminal. Prints one ready line
("ktbsim: listening on DEVICE ...") and then one line per received 3-byte frame:
  frequency N kHz | level N dBuV | fixed | pre-emphasis 75 us (US)
  | pre-emphasis 50 us (EU, JP) | pre-emphasis none
Any frame that is not exactly one of these is printed as "raw XX XX XX": an
unknown code, a level frame whose last byte is not 00, a fixed frame other than
03 00 00, a pre-emphasis frame whose middle byte is not 00 or whose index is
not 0..2. Bytes of an incomplete frame followed by 50 ms of silence are printed
as "raw XX ..." and dropped, so the next byte starts a new frame; they get no
reply and no log line.

  --link PATH    create a symlink PATH -> device (a stale symlink is replaced,
                 anything else at PATH is refused); removed at exit
  --reply MODE   what to send back for each complete frame:
                   echo          the frame's 3 bytes (default)
                   none          nothing
                   ack:HEX       one byte, e.g. ack:06
                   hex:HEXBYTES  fixed bytes as contiguous hex pairs, e.g. hex:06A5
  --log FILE     append "MICROSECONDS XX XX XX" per complete frame, the time
                 taken from CLOCK_MONOTONIC when the frame's last byte was read
  --help         this text

SIGINT or SIGTERM ends it with status 0. Bad arguments give status 2.
)";
}

} // namespace ktb
