#include "vacomm.h"

#include "app/errorreport.h"
#include "link/devicepath.h"

#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString portIsOpen = QStringLiteral("Can't perform this operation while port is open");
constexpr std::chrono::milliseconds writeTimeout{1000};

// The system's text for an error code, without the trailing blanks, line breaks and
// full stops that would clash with the punctuation of our own messages.
QString systemText(int error)
{
    char buffer[256];
    QString text = QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
    while (!text.isEmpty() && (text.back().isSpace() || text.back() == u'.'))
        text.chop(1);
    return text;
}

EVaCommError systemError(const char *what, int error)
{
    return EVaCommError(
        QStringLiteral("%1 (%2), %3").arg(QLatin1String(what)).arg(error).arg(systemText(error)));
}

EVaCommError deviceNotFound(const QString &name)
{
    return EVaCommError(QStringLiteral("Specified device not found (%1).").arg(name));
}

EVaCommError cannotOpen(const QString &name, int error)
{
    return EVaCommError(QStringLiteral("Can't open specified device %1 (Error %2, %3)")
                            .arg(name)
                            .arg(error)
                            .arg(systemText(error)));
}

// Gives the device back. TIOCEXCL lives on the tty, not on our descriptor: left set
// on a pseudo-terminal whose other side stays open, it would refuse the next
// non-root opener with EBUSY.
void releaseDevice(int fd)
{
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

// The line settings, built from zero so that nothing a previous user left behind
// survives: raw 8N1 at 19200, no flow control of any kind. Raw mode also means that
// 0x11 and 0x13 are data, not XON/XOFF, and that no byte is translated.
void writeLineSettings(int fd)
{
    termios tio{};
    tio.c_cflag = CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0; // a read returns at once with what is there
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B19200) != 0 || ::cfsetospeed(&tio, B19200) != 0 ||
        ::tcsetattr(fd, TCSANOW, &tio) != 0)
        throw systemError("Error writing dcb", errno);

    // DTR and RTS inactive. A pseudo-terminal has no modem lines and refuses the
    // request; that is not a failure of the link.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        throw systemError("Error writing dcb", errno);
}

} // namespace

EVaCommError::EVaCommError(const QString &message) : std::runtime_error(message.toStdString()) {}

TVaComm::TVaComm(QObject *parent)
    : QObject(parent), notifier_(new QSocketNotifier(QSocketNotifier::Read, this))
{
    connect(notifier_, &QSocketNotifier::activated, this, &TVaComm::notify);
}

TVaComm::~TVaComm()
{
    Close();
}

void TVaComm::setPortNum(int portNum)
{
    if (Active())
        throw EVaCommError(portIsOpen);
    portNum_ = portNum;
}

void TVaComm::setDevicePathResolver(DevicePathResolver resolver)
{
    resolver_ = std::move(resolver);
}

void TVaComm::Open()
{
    if (Active())
        throw EVaCommError(portIsOpen);

    const QString name = ktb::deviceName(deviceName_, portNum_);
    const QString path = resolver_ ? resolver_(name) : ktb::defaultDevicePath(name);
    if (path.isEmpty())
        throw deviceNotFound(name);

    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            throw deviceNotFound(name);
        throw cannotOpen(name, error);
    }

    int epollFd = -1;
    try {
        // The lock keeps out every other opener that asks for it, root included;
        // TIOCEXCL keeps out everyone else but root. One held elsewhere is "busy".
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            throw cannotOpen(name, errno == EWOULDBLOCK ? EBUSY : errno);
        ::ioctl(fd, TIOCEXCL); // not a tty: the line settings below report it

        writeLineSettings(fd);
        // Queue sizes are left to the driver: Linux has no such request.

        // Edge-triggered, so that arrivals are announced once each, like the line's
        // "bytes received" event: bytes a handler leaves unread (or a handler that
        // fails before reading) must not re-run it on every pass of the event loop.
        epollFd = ::epoll_create1(EPOLL_CLOEXEC);
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
        event.data.fd = fd;
        if (epollFd < 0 || ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &event) != 0)
            throw systemError(" Error setting EventMask", errno);
    } catch (...) {
        if (epollFd >= 0)
            ::close(epollFd);
        releaseDevice(fd);
        throw;
    }

    fd_ = fd;
    epollFd_ = epollFd;
    notifier_->setSocket(epollFd_);
    notifier_->setEnabled(true);
}

bool TVaComm::WriteBytes(QByteArrayView data)
{
    if (!Active())
        return data.isEmpty(); // nothing written: 0 bytes, as many as asked only for none

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + writeTimeout;
    const char *next = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd_, next, static_cast<size_t>(left));
        if (written > 0) {
            next += written;
            left -= written;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN)
            throw systemError("Write error", errno);

        // The driver's queue is full: wait for room, never past the deadline.
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return false;
        pollfd room{fd_, POLLOUT, 0};
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (::poll(&room, 1, static_cast<int>(wait.count())) < 0 && errno != EINTR)
            throw systemError("Write error", errno);
    }
    return true;
}

QByteArray TVaComm::ReadWaiting()
{
    const int waiting = WaitingCount();
    if (waiting <= 0)
        return {};
    QByteArray bytes(waiting, Qt::Uninitialized);
    ssize_t got;
    do {
        got = ::read(fd_, bytes.data(), static_cast<size_t>(waiting));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        if (errno == EAGAIN)
            return {};
        throw systemError("Read error", errno);
    }
    bytes.truncate(got);
    return bytes;
}

int TVaComm::WaitingCount()
{
    if (!Active())
        return 0;
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0)
        throw systemError("Error retrieving statistics", errno);
    return waiting;
}

void TVaComm::Close()
{
    if (!Active())
        return;
    notifier_->setEnabled(false);
    ::close(epollFd_);
    epollFd_ = -1;
    ::tcflush(fd_, TCIFLUSH); // what was not read is dropped, not left for the next user
    releaseDevice(fd_);
    fd_ = -1;
}

void TVaComm::notify()
{
    // One notification at a time, also while a handler runs a loop of its own (the
    // error report's message box).
    notifier_->setEnabled(false);

    epoll_event event{};
    while (::epoll_wait(epollFd_, &event, 1, 0) < 0 && errno == EINTR) {
    }

    // A line that is gone (peer closed, adapter unplugged) stays "readable" for ever;
    // stop watching it instead of spinning. The operations then report the failure.
    pollfd line{fd_, POLLIN, 0};
    if (::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return;

    if (OnRxChar) {
        ktb::runGuarded([this] {
            const int count = WaitingCount();
            if (count > 0)
                OnRxChar(this, count);
        });
    }
    // The handler may have closed the port, or closed and opened it again.
    if (Active())
        notifier_->setEnabled(true);
}
