// Fuzz target for the integer text rules (settings/inttext.h): parseInteger must
// never crash and must agree with a second, deliberately different reading of the
// same rules built on std::from_chars; integerText must give the plain decimal
// form, which reads back as the same number.
//
// Input: the first byte picks how the rest becomes text. Odd: each byte is one
// Latin-1 character, where all the characters that matter live. Even: the bytes
// are UTF-16 code units, so that every other character (Arabic-Indic or full-width
// digits, unpaired surrogates) is tried as well.

#include "settings/inttext.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

std::optional<std::int32_t> hexReference(std::string_view digits)
{
    if (digits.empty())
        return std::nullopt;
    // Leading zeros are not significant; the rest may be at most eight digits.
    const std::size_t first = digits.find_first_not_of('0');
    const std::string_view significant =
        first == std::string_view::npos ? std::string_view() : digits.substr(first);
    if (significant.size() > 8)
        return std::nullopt;
    if (significant.empty())
        return 0;
    std::uint32_t bits = 0;
    const auto [end, error] =
        std::from_chars(significant.data(), significant.data() + significant.size(), bits, 16);
    if (error != std::errc() || end != significant.data() + significant.size())
        return std::nullopt;
    return static_cast<std::int32_t>(bits);
}

std::optional<std::int32_t> decimalReference(std::string_view text)
{
    // from_chars takes a '-' but not a '+'; after a '+' no second sign may follow.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> reference(const QString &text)
{
    // A number is made of ASCII only: any other character anywhere spoils it.
    std::string ascii;
    for (const QChar c : text) {
        if (c.unicode() > 0x7F)
            return std::nullopt;
        ascii += char(c.unicode());
    }
    std::string_view rest(ascii);
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return std::nullopt;
    rest.remove_prefix(start);
    for (const std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
        if (rest.starts_with(prefix))
            return hexReference(rest.substr(prefix.size()));
    }
    return decimalReference(rest);
}

std::string show(const std::optional<std::int32_t> &value)
{
    return value ? std::to_string(*value) : std::string("not an integer");
}

[[noreturn]] void fail(const QString &text, const char *what)
{
    std::fprintf(stderr, "input \"%s\": %s\n", text.toUtf8().constData(), what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    QString text;
    if (data[0] & 1) {
        text = QString::fromLatin1(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    } else {
        text.resize(qsizetype((size - 1) / 2));
        std::memcpy(text.data(), data + 1, std::size_t(text.size()) * 2);
    }

    const std::optional<std::int32_t> got = ktb::parseInteger(text);
    const std::optional<std::int32_t> want = reference(text);
    if (got != want) {
        const std::string message = "parseInteger gives " + show(got) + ", the rules " + show(want);
        fail(text, message.c_str());
    }
    if (got) {
        char plain[16];
        const auto end = std::to_chars(plain, plain + sizeof plain, *got).ptr;
        const QString written = ktb::integerText(*got);
        if (written != QLatin1String(plain, end - plain))
            fail(text, "integerText is not the plain decimal form");
        if (ktb::parseInteger(written) != got)
            fail(text, "integerText does not read back");
    }
    return 0;
}
