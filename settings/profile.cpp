#include "settings/profile.h"

#include <vector>

namespace ktb::profile {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmedLeft(QByteArrayView v)
{
    while (!v.isEmpty() && isBlank(v.front()))
        v = v.sliced(1);
    return v;
}

QByteArrayView trimmed(QByteArrayView v)
{
    v = trimmedLeft(v);
    while (!v.isEmpty() && isBlank(v.back()))
        v.chop(1);
    return v;
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Only ASCII letters fold: bytes above 0x7F belong to no known character set here.
bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

struct Line
{
    qsizetype begin; // first byte
    qsizetype end;   // one past the last byte before the line break
    qsizetype next;  // first byte of the following line; == end when no break
};

std::vector<Line> splitLines(const QByteArray &content)
{
    std::vector<Line> lines;
    qsizetype begin = 0;
    const qsizetype size = content.size();
    while (begin < size) {
        qsizetype end = begin;
        while (end < size && content[end] != '\n' && content[end] != '\r')
            ++end;
        qsizetype next = end;
        if (next < size && content[next] == '\r')
            ++next;
        if (next < size && content[next] == '\n')
            ++next;
        lines.push_back({begin, end, next});
        begin = next;
    }
    return lines;
}

enum class Kind { Other, Section, Key };

struct Parsed
{
    Kind kind = Kind::Other;
    QByteArrayView name;
    qsizetype afterEquals = 0; // offset in the line just past the first '='
};

Parsed parseLine(QByteArrayView text)
{
    const QByteArrayView lead = trimmedLeft(text);
    if (lead.startsWith('[')) {
        // The header ends at the first ']'; text after it is ignored and a missing
        // ']' is tolerated.
        QByteArrayView name = lead.sliced(1);
        const qsizetype close = name.indexOf(']');
        if (close >= 0)
            name = name.first(close);
        return {Kind::Section, trimmed(name), 0};
    }
    if (lead.startsWith(';'))
        return {};
    const qsizetype equals = text.indexOf('=');
    if (equals < 0)
        return {};
    return {Kind::Key, trimmed(text.first(equals)), equals + 1};
}

// Where a section and a key stand, as line indexes; -1 when absent.
struct Position
{
    qsizetype header = -1;
    qsizetype lastKey = -1;
    qsizetype key = -1;
    qsizetype keyValue = -1; // byte offset in the content just past the key's '='
};

Position locate(const QByteArray &content, const std::vector<Line> &lines, QByteArrayView section,
                QByteArrayView key)
{
    Position pos;
    const QByteArrayView all(content);
    for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
        const Line &line = lines[size_t(i)];
        const Parsed parsed = parseLine(all.sliced(line.begin, line.end - line.begin));
        if (parsed.kind == Kind::Section) {
            if (pos.header >= 0)
                break; // the section ends here; a later duplicate is never searched
            if (sameName(parsed.name, section))
                pos.header = i;
        } else if (parsed.kind == Kind::Key && pos.header >= 0) {
            pos.lastKey = i;
            if (pos.key < 0 && sameName(parsed.name, key)) {
                pos.key = i;
                pos.keyValue = line.begin + parsed.afterEquals;
            }
        }
    }
    return pos;
}

QByteArrayView lineBreakOf(const QByteArray &content)
{
    for (qsizetype i = 0; i < content.size(); ++i) {
        if (content[i] == '\n')
            return "\n";
        if (content[i] == '\r')
            return (i + 1 < content.size() && content[i + 1] == '\n') ? "\r\n" : "\n";
    }
    return "\n";
}

} // namespace

QByteArray readValue(const QByteArray &content, QByteArrayView section, QByteArrayView key)
{
    const std::vector<Line> lines = splitLines(content);
    const Position pos = locate(content, lines, section, key);
    if (pos.key < 0)
        return {};
    const Line &line = lines[size_t(pos.key)];
    QByteArrayView value =
        trimmed(QByteArrayView(content).sliced(pos.keyValue, line.end - pos.keyValue));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    return value.toByteArray();
}

QByteArray writeValue(const QByteArray &content, QByteArrayView section, QByteArrayView key,
                      QByteArrayView value)
{
    const QByteArrayView eol = lineBreakOf(content);
    const std::vector<Line> lines = splitLines(content);
    const Position pos = locate(content, lines, section, key);
    QByteArray result = content;

    if (pos.key >= 0) {
        // Keep the key's spelling and the blanks after '='; the old value goes up
        // to the line end, trailing blanks included.
        const Line &line = lines[size_t(pos.key)];
        qsizetype valueBegin = pos.keyValue;
        while (valueBegin < line.end && isBlank(content[valueBegin]))
            ++valueBegin;
        QByteArray replacement = value.toByteArray();
        if (line.next == line.end)
            replacement.append(eol); // the last line gains the break it lacked
        return result.replace(valueBegin, line.end - valueBegin, replacement);
    }

    QByteArray keyLine = key.toByteArray();
    keyLine.append('=').append(value).append(eol);
    if (pos.header >= 0) {
        const Line &after = lines[size_t(pos.lastKey >= 0 ? pos.lastKey : pos.header)];
        if (after.next == after.end)
            keyLine.prepend(eol);
        return result.insert(after.next, keyLine);
    }

    if (!result.isEmpty() && !result.endsWith('\n') && !result.endsWith('\r'))
        result.append(eol);
    result.append('[').append(section).append(']').append(eol).append(keyLine);
    return result;
}

} // namespace ktb::profile
