#pragma once

// A pseudo-terminal pair as the far end of a serial line, for tests.
//
// The program opens the slave side (slavePath()) as its serial device; the test
// plays the module on the master side. By default the fixture also keeps a slave
// descriptor of its own, so the device stays available between the program's opens
// and closes, as the simulated module does.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace ktb::test {

class PtyPair
{
public:
    enum class Slave { Hold, Release };

    explicit PtyPair(Slave slave = Slave::Hold)
    {
        if (!setUp(slave))
            closeMaster();
    }

    ~PtyPair() { closeMaster(); }

    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }
    int slaveFd() const { return slave_; } // -1 unless held

    // Writes all of data to the line; false on failure.
    bool writeMaster(QByteArrayView data)
    {
        const char *next = data.data();
        qsizetype left = data.size();
        while (left > 0) {
            const ssize_t n = ::write(master_, next, static_cast<size_t>(left));
            if (n > 0) {
                next += n;
                left -= n;
            } else if (n < 0 && errno == EAGAIN) {
                pollfd room{master_, POLLOUT, 0};
                ::poll(&room, 1, 100);
            } else if (!(n < 0 && errno == EINTR)) {
                return false;
            }
        }
        return true;
    }

    // Reads what the program sent until `bytes` have arrived or `timeoutMs` have
    // passed, whichever comes first; returns what arrived.
    QByteArray readMaster(int bytes, int timeoutMs)
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        QByteArray received;
        while (received.size() < bytes) {
            char buffer[4096];
            const ssize_t n =
                ::read(master_, buffer, std::min<size_t>(sizeof buffer, bytes - received.size()));
            if (n > 0) {
                received.append(buffer, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            const int error = n < 0 ? errno : EAGAIN;
            const auto now = Clock::now();
            if ((error != EAGAIN && error != EIO) || now >= deadline)
                break;
            const auto wait = std::min(std::chrono::ceil<std::chrono::milliseconds>(deadline - now),
                                       std::chrono::milliseconds(10));
            if (error == EIO) {
                // No slave is open at the moment, which poll reports as a hang-up at
                // once: sleep instead, the program may open the device again.
                std::this_thread::sleep_for(wait);
            } else {
                pollfd data{master_, POLLIN, 0};
                ::poll(&data, 1, static_cast<int>(wait.count()));
            }
        }
        return received;
    }

    // The peer vanishes: both sides the fixture holds are closed, which hangs up
    // the slave for whoever still has it open.
    void closeMaster()
    {
        if (slave_ >= 0)
            ::close(slave_);
        if (master_ >= 0)
            ::close(master_);
        slave_ = master_ = -1;
    }

private:
    bool setUp(Slave slave)
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return false;
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0)
            return false;
        slavePath_ = QString::fromLocal8Bit(name);
        if (slave == Slave::Hold) {
            slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (slave_ < 0)
                return false;
        }
        // Raw, so that the line discipline neither echoes nor translates what the
        // test sends before the program sets its own line settings. On Linux the
        // master's termios requests act on the slave.
        termios tio{};
        if (::tcgetattr(master_, &tio) != 0)
            return false;
        ::cfmakeraw(&tio);
        if (::tcsetattr(master_, TCSANOW, &tio) != 0)
            return false;
        return true;
    }

    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

} // namespace ktb::test
