#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>

// The settings-file error: a write that the system refused. The message is UTF-8.
class EIniFileException : public std::runtime_error
{
public:
    explicit EIniFileException(const QString &message);
};

// A settings (INI) file addressed by its full path. Each read and each write goes
// to the file on its own; no content is kept between calls. Sections, keys and
// values are UTF-8 in the file.
class TIniFile
{
public:
    // Only records the path: the file is neither opened nor created here.
    explicit TIniFile(QString fileName);

    QString FileName() const { return fileName_; }

    // The value as text, cut to 2047 characters (the fetch goes through a buffer
    // of 2048); `defaultValue` when it is missing or empty.
    QString ReadString(const QString &section, const QString &key,
                       const QString &defaultValue) const;
    // The value by the integer text rules; `defaultValue` when it is not an integer.
    std::int32_t ReadInteger(const QString &section, const QString &key,
                             std::int32_t defaultValue) const;
    // True when the integer read (default 1 or 0) is not 0, so "true" reads as false.
    bool ReadBool(const QString &section, const QString &key, bool defaultValue) const;

    // Each throws EIniFileException("Unable to write to <path>") when refused.
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, std::int32_t value);
    void WriteBool(const QString &section, const QString &key, bool value);

private:
    QString fileName_;
};
