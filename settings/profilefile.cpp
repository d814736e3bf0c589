#include "settings/profilefile.h"

#include "settings/profile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace ktb::profile {
namespace {

// Closes the descriptor on every path out of a function.
class Fd
{
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int get() const { return fd_; }
    // close() reports write-back errors on some file systems, so it is checked.
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, const QByteArray &content)
{
    const char *data = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

bool writeAndSync(Fd &fd, const QByteArray &content)
{
    return writeAll(fd.get(), content) && ::fsync(fd.get()) == 0 && fd.close();
}

struct Target
{
    QString path; // symlinks resolved
    QByteArray native;
    bool exists = false;
    struct stat st = {};
};

QString resolveSymlinks(const QString &path)
{
    // Not canonicalFilePath(): that is empty for a link whose target does not exist
    // yet, and such a target is to be created.
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.absoluteFilePath();
}

// The file that a write to `path` changes, or nothing when the write must be refused.
std::optional<Target> writableTarget(const QString &path)
{
    Target target;
    target.path = resolveSymlinks(path);
    target.native = QFile::encodeName(target.path);
    if (::stat(target.native.constData(), &target.st) == 0) {
        target.exists = true;
        if (!S_ISREG(target.st.st_mode) || ::access(target.native.constData(), W_OK) != 0)
            return std::nullopt;
    } else if (errno != ENOENT) {
        return std::nullopt;
    }
    return target;
}

std::optional<QByteArray> readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return content;
}

void syncDirectory(const QString &dir)
{
    // Makes the rename itself durable; a failure here does not undo the write.
    Fd fd(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

QByteArray tempName(const QFileInfo &info)
{
    return QFile::encodeName(QStringLiteral("%1/.%2.%3.tmp")
                                 .arg(info.absolutePath(), info.fileName(),
                                      QString::number(QRandomGenerator::global()->generate(), 16)));
}

// The file that will take the target's place. Where the file system allows it,
// it has no name until it is complete, so a save killed half-way leaves
// nothing behind; elsewhere it is a hidden name beside the target.
struct NewFile
{
    int fd = -1;
    bool anonymous = false;
    QByteArray name;
    int error = 0;
};

NewFile createNewFile(const QFileInfo &info)
{
    NewFile file;
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    file.fd = ::open(dir.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (file.fd >= 0) {
        file.anonymous = true;
        return file;
    }
    file.error = errno;
    if (file.error == EACCES || file.error == EPERM || file.error == ENOENT)
        return file;
    for (int attempt = 0; attempt < 16; ++attempt) {
        file.name = tempName(info);
        file.fd = ::open(file.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        file.error = file.fd < 0 ? errno : 0;
        if (file.error != EEXIST)
            break;
    }
    return file;
}

// Gives a complete anonymous file its hidden name, just before the rename.
bool nameNewFile(NewFile &file, const QFileInfo &info)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.fd);
    for (int attempt = 0; attempt < 16; ++attempt) {
        file.name = tempName(info);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, file.name.constData(),
                     AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    file.name.clear();
    return false;
}

// A save killed in the instant between naming its new file and the rename
// leaves that hidden file behind. One that old belongs to no save still running.
void removeAbandonedNewFiles(const QFileInfo &info)
{
    const QDateTime abandoned = QDateTime::currentDateTimeUtc().addSecs(-600);
    const QString pattern = QStringLiteral(".%1.*.tmp").arg(info.fileName());
    const QFileInfoList leftovers =
        QDir(info.absolutePath()).entryInfoList({pattern}, QDir::Files | QDir::Hidden);
    for (const QFileInfo &leftover : leftovers) {
        if (leftover.lastModified() < abandoned)
            QFile::remove(leftover.absoluteFilePath());
    }
}

bool replace(const Target &target, const QByteArray &content)
{
    const QFileInfo info(target.path);
    NewFile file = createNewFile(info);
    if (file.fd < 0) {
        if ((file.error == EACCES || file.error == EPERM) && target.exists)
            return overwriteInPlace(target.path, content);
        return false;
    }

    Fd fd(file.fd);
    bool ok = true;
    if (target.exists) {
        // Only root may hand the file back to another owner; anyone else keeps
        // their own ownership, as a fresh file would have it, so failure is fine.
        // The mode comes after, since a change of owner may clear set-id bits.
        [[maybe_unused]] const int owned = ::fchown(fd.get(), target.st.st_uid, target.st.st_gid);
        ok = ::fchmod(fd.get(), target.st.st_mode & 07777) == 0;
    }
    // Named and renamed back to back, with the data already on disk: only a kill
    // between those two calls leaves a hidden file behind.
    ok = ok && writeAll(fd.get(), content) && ::fsync(fd.get()) == 0;
    ok = ok && (!file.anonymous || nameNewFile(file, info));
    ok = ok && ::rename(file.name.constData(), target.native.constData()) == 0;
    if (!ok) {
        if (!file.name.isEmpty())
            ::unlink(file.name.constData());
        return false;
    }
    syncDirectory(info.absolutePath());
    removeAbandonedNewFiles(info);
    return true;
}

} // namespace

QByteArray readFile(const QString &path)
{
    return readAll(path).value_or(QByteArray());
}

bool overwriteInPlace(const QString &path, const QByteArray &content)
{
    Fd fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    return fd.get() >= 0 && writeAndSync(fd, content);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    const std::optional<Target> target = writableTarget(path);
    return target && replace(*target, content);
}

bool putValue(const QString &path, QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    const std::optional<Target> target = writableTarget(path);
    if (!target)
        return false;
    QByteArray content;
    if (target->exists) {
        // A file that exists but cannot be read must not be rewritten from nothing.
        std::optional<QByteArray> current = readAll(target->path);
        if (!current)
            return false;
        content = std::move(*current);
    }
    return replace(*target, writeValue(content, section, key, value));
}

} // namespace ktb::profile
