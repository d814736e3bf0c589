// The baseline for pacing on the wire: the program's eight start-up frames
// written to DEVICE with a plain relative sleep of 100 ms after each, the naive
// way, to show what sleeping to absolute deadlines buys on this machine.
//
//   bench_pacewriter DEVICE

#include "link/frames.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_pacewriter DEVICE\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        std::perror("bench_pacewriter: open");
        return 1;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    const auto frames = ktb::passFrames(100000, 115, 0);
    for (int pass = 0; pass < 2; ++pass) {
        for (const ktb::Frame &frame : frames) {
            if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
                std::perror("bench_pacewriter: write");
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ::close(fd);
    return 0;
}
