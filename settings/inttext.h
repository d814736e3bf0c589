#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace ktb {

// The integer text rules shared by the settings file and the spin edit:
// leading spaces (only ' ') are skipped; then either a decimal number (optional
// '+' or '-', within the 32-bit range) or a hexadecimal one after "$", "x", "X",
// "0x" or "0X" with at most eight significant digits, whose 32 bits are taken as
// they stand (FFFFFFFF is -1). The digits must run to the end of the text; a
// trailing blank, a unit, a decimal point or an exponent make it not an integer.
std::optional<std::int32_t> parseInteger(QStringView text);

// Plain signed decimal: '-' for negatives, no '+', no leading zeros, no separators.
QString integerText(std::int32_t value);

} // namespace ktb
