#pragma once

// The file that the crash test's writer keeps rewriting, shared by the writer and
// the test. The writer moves the five keys of [General] from one set of values to
// the other, one WriteInteger each, and back again, for ever. After every single
// write the file is whole: a state is "the first k keys already hold the new set".

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>

namespace ktb::e2e::crash {

inline const QString section = QStringLiteral("General");
inline const std::array<QString, 5> keys = {"Frequency", "Level", "Preemphasis", "PortNum", "Send"};
// Values of different lengths, so that a torn write would show in the size too.
inline constexpr std::array<int, 5> valuesA = {100000, 115, 0, 0, 1};
inline constexpr std::array<int, 5> valuesB = {98500, 88, 2, 8, 0};

// A file as an operator might have it: comments, CRLF, blanks around '=', a key
// the program does not know, and a second section.
inline QByteArray content(const std::array<int, 5> &values)
{
    return QStringLiteral("; ktbctl settings\r\n"
                          "[General]\r\n"
                          "Frequency=%1\r\n"
                          "Level = %2\r\n"
                          "Theme=dark\r\n"
                          "Preemphasis=%3\r\n"
                          "PortNum=%4\r\n"
                          "Send=%5\r\n"
                          "\r\n"
                          "; COM1 is the bench module\r\n"
                          "[Ports]\r\n"
                          "COM1=/dev/serial/by-id/usb-bench-if00-port0\r\n")
        .arg(values[0])
        .arg(values[1])
        .arg(values[2])
        .arg(values[3])
        .arg(values[4])
        .toUtf8();
}

// Every content the file can have while the writer runs, starting from content(valuesA).
inline QList<QByteArray> possibleContents()
{
    QList<QByteArray> all;
    for (const auto &[from, to] : {std::pair(valuesA, valuesB), std::pair(valuesB, valuesA)}) {
        for (std::size_t done = 0; done < keys.size(); ++done) {
            std::array<int, 5> values = from;
            for (std::size_t i = 0; i < done; ++i)
                values[i] = to[i];
            all << content(values);
        }
    }
    return all;
}

} // namespace ktb::e2e::crash
