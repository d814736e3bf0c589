#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The settings file is a classic profile (INI) file. These functions work on its
// bytes, not on decoded text, so that a write leaves every byte it does not own
// exactly as it was, including bytes that are not valid text.
//
// Reading: section and key names match regardless of ASCII case and of blanks
// around them; the first matching section and, inside it, the first matching key
// win; lines before the first section belong to none; a line whose first non-blank
// character is ';' is a comment ('#' is ordinary, and there are no end-of-line
// comments); the value is the text after the first '=' with blanks trimmed and one
// outer pair of matching quotes removed. CRLF, LF and lone CR end lines.
namespace ktb::profile {

// The value of `key` in `section`, or empty when the section, the key or the value
// is missing.
QByteArray readValue(const QByteArray &content, QByteArrayView section, QByteArrayView key);

// `content` with `key` in `section` set to `value`, written as given (no quoting or
// trimming). An existing key keeps its spelling and the blanks around '='; a new
// key goes right after the last key line of the section (so trailing comments and
// blank lines stay after it) or right after the header when it has no keys; a new
// section is appended at the end. Added line breaks follow the file's first line
// break (CRLF or LF; LF for an empty file). A missing file is empty content.
QByteArray writeValue(const QByteArray &content, QByteArrayView section, QByteArrayView key,
                      QByteArrayView value);

} // namespace ktb::profile
