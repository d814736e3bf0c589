#include "settings/inifile.h"

#include "settings/inttext.h"
#include "settings/profile.h"
#include "settings/profilefile.h"

#include <utility>

namespace {

// The fetch buffer's size; the last place holds the terminating null.
constexpr qsizetype FetchBufferSize = 2048;

} // namespace

EIniFileException::EIniFileException(const QString &message)
    : std::runtime_error(message.toStdString())
{}

TIniFile::TIniFile(QString fileName) : fileName_(std::move(fileName)) {}

QString TIniFile::ReadString(const QString &section, const QString &key,
                             const QString &defaultValue) const
{
    const QByteArray raw =
        ktb::profile::readValue(ktb::profile::readFile(fileName_), section.toUtf8(), key.toUtf8());
    QString value = QString::fromUtf8(raw);
    if (value.size() > FetchBufferSize - 1) {
        value.truncate(FetchBufferSize - 1);
        // Never leave half of a surrogate pair behind.
        if (value.back().isHighSurrogate())
            value.chop(1);
    }
    return value.isEmpty() ? defaultValue : value;
}

std::int32_t TIniFile::ReadInteger(const QString &section, const QString &key,
                                   std::int32_t defaultValue) const
{
    return ktb::parseInteger(ReadString(section, key, QString())).value_or(defaultValue);
}

bool TIniFile::ReadBool(const QString &section, const QString &key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    if (!ktb::profile::putValue(fileName_, section.toUtf8(), key.toUtf8(), value.toUtf8()))
        throw EIniFileException(QStringLiteral("Unable to write to %1").arg(fileName_));
}

void TIniFile::WriteInteger(const QString &section, const QString &key, std::int32_t value)
{
    WriteString(section, key, ktb::integerText(value));
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
