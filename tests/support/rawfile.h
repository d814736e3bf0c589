#pragma once

// Whole files as bytes, for tests that compare a settings file byte for byte.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

namespace ktb::test {

// The file's bytes; empty when it is missing or cannot be read.
inline QByteArray readRaw(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces the file's bytes; a failure fails the calling test.
inline void writeRaw(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

} // namespace ktb::test
