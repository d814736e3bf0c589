#include "settings/inttext.h"

namespace ktb {
namespace {

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool isDecimalDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

std::optional<std::int32_t> parseHex(QStringView digits)
{
    if (digits.isEmpty())
        return std::nullopt;
    std::uint32_t value = 0;
    int significant = 0;
    for (const QChar c : digits) {
        const int d = hexDigitValue(c);
        if (d < 0)
            return std::nullopt;
        if (significant > 0 || d != 0)
            ++significant;
        if (significant > 8)
            return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    // The bits stand as they are: 80000000 and above are negative.
    return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> parseDecimal(QStringView text)
{
    bool negative = false;
    if (text.startsWith(u'+') || text.startsWith(u'-')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    const std::int64_t limit = negative ? std::int64_t{INT32_MAX} + 1 : std::int64_t{INT32_MAX};
    std::int64_t magnitude = 0;
    for (const QChar c : text) {
        if (!isDecimalDigit(c))
            return std::nullopt;
        magnitude = magnitude * 10 + (c.unicode() - u'0');
        // Checked per digit, so a long run of digits cannot overflow the accumulator.
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

} // namespace

std::optional<std::int32_t> parseInteger(QStringView text)
{
    while (text.startsWith(u' '))
        text = text.sliced(1);
    // "0x" before "x": otherwise "0x10" would be taken for a decimal 0 followed by junk.
    for (const QStringView prefix : {u"0x", u"0X", u"$", u"x", u"X"}) {
        if (text.startsWith(prefix))
            return parseHex(text.sliced(prefix.size()));
    }
    return parseDecimal(text);
}

QString integerText(std::int32_t value)
{
    return QString::number(value);
}

} // namespace ktb
