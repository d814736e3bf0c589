#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// File access for the profile functions of profile.h. Nothing is cached: every
// call reads the file afresh, so another process sees a write at once and a write
// never undoes someone else's change to other keys.
namespace ktb::profile {

// The whole file; empty when it is missing or cannot be read. Never throws.
QByteArray readFile(const QString &path);

// Sets one key in the file at `path`, creating the file (not its directory) when
// needed. False when the write is refused: a missing directory, a path that is not
// a regular file, a file that exists but may not be read or written. A refused
// write leaves the file and its directory as they were.
bool putValue(const QString &path, QByteArrayView section, QByteArrayView key,
              QByteArrayView value);

// Replaces the content of the file at `path`, following symlinks so that a link
// keeps pointing at its (updated) target. The new content goes to a temporary file
// in the same directory that is flushed to disk and renamed over the old one, so a
// crash leaves either the old or the new file, never a truncated one. The old
// file's permission bits (and, where allowed, owner) are kept; a new file gets
// 0666 less the umask. Only when the directory refuses the temporary file but the
// file itself is writable is the file overwritten in place, which is the best
// that can be done there.
bool writeFile(const QString &path, const QByteArray &content);

// The in-place fallback of writeFile (truncate, write, flush to disk) for an
// existing file. Exposed so that it can be tested where permissions cannot force it.
bool overwriteInPlace(const QString &path, const QByteArray &content);

} // namespace ktb::profile
