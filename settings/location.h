#pragma once

#include <QString>

namespace ktb {

// The directory of the running executable, symlinks resolved, with its trailing
// '/'. The current directory plays no part.
QString programDirectory();

// Where the settings file is read from and written to. The two differ only when
// the program directory may not be written: then writes go to the per-user file,
// and until that exists the shared file of the program directory is still read.
struct SettingsLocation
{
    QString readPath;
    QString writePath;
};

// The per-user configuration directory: $XDG_CONFIG_HOME when it is an absolute
// path, else $HOME/.config.
QString configHome();

// The location for the program directory `programDir` (with trailing '/'): its
// ktbctl.ini when that directory or the file in it is writable by this process,
// otherwise ktbctl/ktbctl.ini under configHome().
SettingsLocation settingsLocation(const QString &programDir);

// The same decision with the environment passed in, for tests.
SettingsLocation settingsLocation(const QString &programDir, bool programDirWritable,
                                  const QString &configHomeDir);

// Gets the write path ready and returns it. For the per-user file this creates its
// directory and, the first time, copies the shared file there, so the per-user
// file starts from everything the shared one held (sections this program does not
// know included) rather than from just the keys written now. Failures are left
// for the write itself to report, with the path in its message.
QString prepareWritePath(const SettingsLocation &location);

} // namespace ktb
