// ktbsim: a simulated transmitter module on a pseudo-terminal. See usageText().

#include "frame.h"
#include "options.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace ktb;

// A partial frame followed by this much silence is dropped, so one lost or extra byte
// does not shift every later frame.
constexpr std::int64_t resyncMicros = 50'000;

class UniqueFd
{
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::int64_t monotonicMicros()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

int fail(const std::string &what, int err)
{
    std::fprintf(stderr, "ktbsim: %s: %s\n", what.c_str(), std::strerror(err));
    return 1;
}

// Tests and scripts read standard output through a pipe and wait for lines, so
// every line is flushed as soon as it is complete.
void printLine(const std::string &line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Writes as much as the descriptor takes now. The master is non-blocking: if the
// device's input queue is full because nobody reads it, the rest is dropped rather
// than stalling the decoder.
void writeSome(int fd, const std::vector<std::uint8_t> &bytes, const char *what)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += std::size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            std::fprintf(stderr, "ktbsim: %s: %zu of %zu bytes dropped (%s)\n", what,
                         bytes.size() - done, bytes.size(),
                         n < 0 ? std::strerror(errno) : "no progress");
            return;
        }
    }
}

// Raw on the device side: while the program under test has the device closed, our
// own descriptor keeps the line discipline alive, and its settings must neither echo
// the replies back to us nor alter bytes (CR/LF mapping, 0x11/0x13 as flow control).
bool makeRaw(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Points path at target. Any existing symlink is taken as left over from an earlier
// run and replaced; a file or directory there is someone else's and is refused.
bool createLink(const std::string &path, const std::string &target, std::string &error)
{
    struct stat st
    {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = path + " exists and is not a symlink; not replacing it";
            return false;
        }
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            error = "cannot remove old link " + path + ": " + std::strerror(errno);
            return false;
        }
    } else if (errno != ENOENT) {
        error = "cannot examine " + path + ": " + std::strerror(errno);
        return false;
    }
    if (::symlink(target.c_str(), path.c_str()) != 0) {
        error = "cannot create link " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Removes the link only while it still points at our device: a second simulator
// started with the same --link has replaced it and owns it now.
void removeLink(const std::string &path, const std::string &target)
{
    std::vector<char> buffer(target.size() + 2);
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n >= 0 && std::string(buffer.data(), std::size_t(n)) == target)
        ::unlink(path.c_str());
}

class Decoder
{
public:
    Decoder(int masterFd, int logFd, const Reply &reply)
        : masterFd_(masterFd), logFd_(logFd), reply_(reply)
    {}

    void receive(const std::uint8_t *bytes, std::size_t count, std::int64_t nowMicros)
    {
        for (std::size_t i = 0; i < count; ++i) {
            frame_[pending_++] = bytes[i];
            if (pending_ == frame_.size()) {
                pending_ = 0;
                handleFrame(nowMicros);
            }
        }
        lastByteMicros_ = nowMicros;
    }

    // Milliseconds poll() may sleep before a partial frame is due to be dropped;
    // -1 when nothing is pending.
    int pollTimeout(std::int64_t nowMicros) const
    {
        if (pending_ == 0)
            return -1;
        const std::int64_t left = lastByteMicros_ + resyncMicros - nowMicros;
        return left <= 0 ? 0 : int((left + 999) / 1000);
    }

    void dropStalePartial(std::int64_t nowMicros)
    {
        if (pending_ != 0 && nowMicros - lastByteMicros_ >= resyncMicros) {
            printLine("raw " + hexText(std::span(frame_.data(), pending_)));
            pending_ = 0;
        }
    }

private:
    // Reply and log line go out before the decoded line, so whoever has read the line
    // knows the reply is already queued on the device and the log line written.
    void handleFrame(std::int64_t nowMicros)
    {
        const auto reply = replyTo(reply_, frame_);
        if (!reply.empty())
            writeSome(masterFd_, reply, "reply");
        if (logFd_ >= 0) {
            const std::string line = std::to_string(nowMicros) + ' ' + hexText(frame_) + '\n';
            // One write per line: with O_APPEND it lands whole even if the file is shared.
            if (::write(logFd_, line.data(), line.size()) != ssize_t(line.size()))
                std::fprintf(stderr, "ktbsim: log write failed: %s\n", std::strerror(errno));
        }
        printLine(describeFrame(frame_));
    }

    int masterFd_;
    int logFd_;
    Reply reply_;
    Frame frame_{};
    std::size_t pending_ = 0;
    std::int64_t lastByteMicros_ = 0;
};

int run(const SimOptions &options)
{
    // Signals arrive through a descriptor so the poll loop wakes and the link is
    // removed on the way out. SIGHUP too: closing the terminal of `make run`.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &signals, nullptr) != 0)
        return fail("sigprocmask", errno);
    UniqueFd signalFd(::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
    if (signalFd.get() < 0)
        return fail("signalfd", errno);
    // A reader of our standard output that went away must not kill us before the
    // link is removed.
    std::signal(SIGPIPE, SIG_IGN);

    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (master.get() < 0)
        return fail("posix_openpt", errno);
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
        return fail("grantpt/unlockpt", errno);
    const char *name = ::ptsname(master.get());
    if (name == nullptr)
        return fail("ptsname", errno);
    const std::string device = name;

    // Holding the device side open for our whole life keeps the pair alive: without
    // it the master reports hang-up (EIO) each time the program closes the device.
    UniqueFd slave(::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (slave.get() < 0)
        return fail("open " + device, errno);
    if (!makeRaw(slave.get()))
        return fail("raw mode on " + device, errno);
    // A real port's unread input is gone once the program closes it; here our own
    // descriptor keeps the queue alive, so a reply the program never read would show
    // up in its next session. Each close by the program is seen here and the device
    // reset. Our descriptor was opened before the watch and is closed only at exit.
    UniqueFd closeWatch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (closeWatch.get() < 0)
        return fail("inotify_init1", errno);
    if (::inotify_add_watch(closeWatch.get(), device.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) <
        0)
        return fail("inotify_add_watch " + device, errno);
    const int flags = ::fcntl(master.get(), F_GETFL);
    if (flags < 0 || ::fcntl(master.get(), F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl", errno);

    UniqueFd logFd(
        options.logPath.empty()
            ? -1
            : ::open(options.logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!options.logPath.empty() && logFd.get() < 0)
        return fail("open log " + options.logPath, errno);

    if (!options.linkPath.empty()) {
        std::string error;
        if (!createLink(options.linkPath, device, error)) {
            std::fprintf(stderr, "ktbsim: %s\n", error.c_str());
            return 1;
        }
    }
    struct LinkGuard
    {
        const std::string &path, &target;
        ~LinkGuard()
        {
            if (!path.empty())
                removeLink(path, target);
        }
    } linkGuard{options.linkPath, device};

    printLine("ktbsim: listening on " + device +
              (options.linkPath.empty() ? "" : " (link " + options.linkPath + ")"));

    Decoder decoder(master.get(), logFd.get(), options.reply);
    for (;;) {
        pollfd fds[3] = {
            {master.get(), POLLIN, 0}, {signalFd.get(), POLLIN, 0}, {closeWatch.get(), POLLIN, 0}};
        const int n = ::poll(fds, 3, decoder.pollTimeout(monotonicMicros()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail("poll", errno);
        }
        if (fds[1].revents & POLLIN)
            return 0;
        // Before the master: a close queued its event before any frame of the next
        // open was written, so the flush cannot take a reply to that frame.
        if (fds[2].revents & POLLIN) {
            char events[4096];
            while (::read(closeWatch.get(), events, sizeof events) > 0) {
            }
            ::tcflush(slave.get(), TCIFLUSH);
            // The exclusive flag (TIOCEXCL) would also outlive the program's close
            // because of our descriptor, and lock out its next open unless it runs as
            // root.
            ::ioctl(slave.get(), TIOCNXCL);
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            std::uint8_t buffer[256];
            const ssize_t got = ::read(master.get(), buffer, sizeof buffer);
            const std::int64_t now = monotonicMicros();
            if (got > 0) {
                decoder.receive(buffer, std::size_t(got), now);
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                // Cannot happen while we hold the device open; stop rather than spin.
                return fail("read " + device, got == 0 ? EIO : errno);
            }
        }
        decoder.dropStalePartial(monotonicMicros());
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedArguments parsed = parseArguments(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "ktbsim: %s\n%.*s", parsed.error.c_str(), int(usageText().size()),
                     usageText().data());
        return 2;
    }
    if (parsed.options.help) {
        std::fwrite(usageText().data(), 1, usageText().size(), stdout);
        return 0;
    }
    return run(parsed.options);
}
