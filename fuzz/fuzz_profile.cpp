// Fuzz target for the profile-file reader and writer (settings/profile.h), on any
// file content. Properties checked on every input:
//   - reading never crashes, whatever the names asked for;
//   - a written value reads back exactly;
//   - the write changes one line's value or adds lines (the key line, and for a new
//     section its header and a line break before it), and touches nothing else:
//     the bytes it removes hold no line break, it adds at most three line breaks,
//     and every other key asked for reads as before;
//   - writing the same value again changes nothing.
//
// Values are generated without line breaks (a value is one line), without blanks
// (space, tab) at either end and not enclosed in a pair of matching quotes: reading
// strips those by design, so such a value cannot read back as written. Every
// other byte, NUL and bytes that are not UTF-8 included, may appear in a value.
// Section and key names come from a safe alphabet: letters, digits, '_', '.', '-'.

#include "settings/profile.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace {

// Names that the starting corpus uses, so that writes often meet existing sections and keys.
const char *const knownNames[] = {"General", "Ports", "Frequency", "Level",   "Preemphasis",
                                  "PortNum", "Send",  "COM1",      "general", "LEVEL"};

QByteArray name(FuzzedDataProvider &input)
{
    if (input.ConsumeBool())
        return input.PickValueInArray(knownNames);
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_.-";
    const std::string raw = input.ConsumeRandomLengthString(12);
    QByteArray result;
    for (const char c : raw)
        result += alphabet[std::uint8_t(c) % (sizeof alphabet - 1)];
    return result.isEmpty() ? QByteArray("K") : result;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray value(FuzzedDataProvider &input)
{
    QByteArray result;
    for (const char c : input.ConsumeRandomLengthString(64)) {
        if (c != '\r' && c != '\n')
            result += c;
    }
    for (bool changed = true; changed;) {
        const qsizetype length = result.size();
        while (!result.isEmpty() && isBlank(result.front()))
            result.remove(0, 1);
        while (!result.isEmpty() && isBlank(result.back()))
            result.chop(1);
        if (result.size() >= 2 && (result.front() == '"' || result.front() == '\'') &&
            result.back() == result.front())
            result.chop(1);
        changed = result.size() != length;
    }
    return result;
}

bool sameName(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

[[noreturn]] void fail(const char *what, const QByteArray &section, const QByteArray &key,
                       const QByteArray &written)
{
    std::fprintf(stderr, "[%s] %s=%s: %s\n", section.constData(), key.constData(),
                 written.toHex(' ').constData(), what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const QByteArray section = name(input);
    const QByteArray key = name(input);
    const QByteArray written = value(input);
    struct Probe
    {
        QByteArray section, key;
    };
    std::vector<Probe> probes;
    for (int i = 0; i < 4; ++i)
        probes.push_back({name(input), name(input)});
    probes.push_back({section, name(input)});
    probes.push_back({name(input), key});
    // Names of any bytes, for the reader alone.
    const std::string rawSection = input.ConsumeRandomLengthString(16);
    const std::string rawKey = input.ConsumeRandomLengthString(16);
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QByteArray content(rest.data(), qsizetype(rest.size()));

    ktb::profile::readValue(content,
                            QByteArrayView(rawSection.data(), qsizetype(rawSection.size())),
                            QByteArrayView(rawKey.data(), qsizetype(rawKey.size())));

    const QByteArray after = ktb::profile::writeValue(content, section, key, written);
    if (ktb::profile::readValue(after, section, key) != written)
        fail("does not read back", section, key, written);

    // The one place where the two contents differ.
    const qsizetype shorter = std::min(content.size(), after.size());
    qsizetype prefix = 0;
    while (prefix < shorter && content[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           content[content.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const QByteArray removed = content.mid(prefix, content.size() - prefix - suffix);
    const QByteArray added = after.mid(prefix, after.size() - prefix - suffix);
    if (removed.contains('\n') || removed.contains('\r'))
        fail("removes a line break", section, key, written);
    const qsizetype addedBreaks = added.count('\n') + added.count('\r') - added.count("\r\n");
    if (addedBreaks > 3)
        fail("adds more than three line breaks", section, key, written);

    for (const Probe &probe : probes) {
        if (sameName(probe.section, section) && sameName(probe.key, key))
            continue;
        if (ktb::profile::readValue(after, probe.section, probe.key) !=
            ktb::profile::readValue(content, probe.section, probe.key))
            fail("changes another key", probe.section, probe.key, written);
    }

    if (ktb::profile::writeValue(after, section, key, written) != after)
        fail("a second write of the same value changes the file", section, key, written);
    return 0;
}
