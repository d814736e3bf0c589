// Starts a program and reports how long it took until its first top-level window
// was mapped, and its peak resident memory a little after that.
//
//   bench_firstmap SETTLE_MS PROGRAM [ARGUMENTS...]
//
// Prints one line "map_us=N hwm_kb=N" and ends the program with SIGTERM. The
// watch on the root window is in place before the program starts, so no map can
// be missed; the clock starts right before the fork. Meant for a private X server
// with no window manager, where every new top-level window belongs to the program.

#include <X11/Xlib.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long peakResidentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// SIGTERM first; a program that ignores it for two seconds is killed.
void stop(pid_t pid)
{
    ::kill(pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// Waits for the first MapNotify of a window that a window manager would manage
// (menus and tooltips set override-redirect). Gives up when the program exits
// (`exited` tells, as it has been reaped then) or after `limit`.
bool waitForMap(Display *display, pid_t pid, Clock::duration limit, Clock::time_point &mapped,
                bool &exited)
{
    const auto deadline = Clock::now() + limit;
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                mapped = Clock::now();
                return true;
            }
        }
        exited = ::waitpid(pid, nullptr, WNOHANG) == pid;
        if (exited || Clock::now() >= deadline)
            return false;
        ::poll(&connection, 1, 10);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_firstmap SETTLE_MS PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    const auto settle = std::chrono::milliseconds(std::atoi(argv[1]));

    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "bench_firstmap: cannot open the display\n");
        return 1;
    }
    // The program must not inherit our connection to the server.
    ::fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);

    const auto started = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("bench_firstmap: fork");
        return 1;
    }
    if (pid == 0) {
        ::execvp(argv[2], argv + 2);
        std::fprintf(stderr, "bench_firstmap: cannot run %s: %s\n", argv[2], std::strerror(errno));
        ::_exit(127);
    }

    Clock::time_point mapped;
    bool exited = false;
    if (!waitForMap(display, pid, std::chrono::seconds(20), mapped, exited)) {
        std::fprintf(stderr, "bench_firstmap: %s %s\n", argv[2],
                     exited ? "exited without mapping a window" : "mapped no window in time");
        if (!exited)
            stop(pid);
        return 1;
    }
    // The first paint and whatever the program does right after showing itself
    // belong to its start-up cost, so the peak is taken a little later.
    std::this_thread::sleep_for(settle);
    const long hwm = peakResidentKb(pid);
    stop(pid);
    XCloseDisplay(display);

    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(mapped - started);
    std::printf("map_us=%lld hwm_kb=%ld\n", static_cast<long long>(us.count()), hwm);
    return hwm < 0 ? 1 : 0;
}
