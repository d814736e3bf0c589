// The time to show a reply that arrives at once, through the program's own
// receive handler, for 1024, 4095 and 4096 bytes; beside it the naive display
// that rewrites the whole text once per byte.
//
// Prints one line per figure: a label, then the time of each run in microseconds.
// The window reads the settings file beside this executable, so there must be
// none there: the defaults are harmless (nothing is sent at creation).

#include "app/application.h"
#include "app/unit1.h"
#include "link/hextext.h"
#include "link/vacomm.h"
#include "ptypair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int runs = 5;

QByteArray reply(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    return bytes;
}

// The bytes written to the master reach the slave's input queue shortly after
// the write returns; the measurement starts once the queue stops growing, as
// when a notification for a burst is handled. The queue holds at most 4095
// bytes on Linux, so a larger burst is only partly there: the kernel moves the
// rest in as the handler reads, and the handler runs again for it.
bool waitUntilQueued(TVaComm *port, int size)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    int queued = port->WaitingCount();
    auto lastGrowth = Clock::now();
    while (queued < size && Clock::now() - lastGrowth < std::chrono::milliseconds(20)) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        const int now = port->WaitingCount();
        if (now > queued) {
            queued = now;
            lastGrowth = Clock::now();
        }
    }
    return queued > 0;
}

void print(const char *label, int size, const std::vector<qint64> &samples)
{
    std::printf("%s_%d_us", label, size);
    for (qint64 ns : samples)
        std::printf(" %.1f", ns / 1000.0);
    std::printf("\n");
}

// One run of the program's path; returns the time in nanoseconds, or -1. The
// handler runs as often as the notifications would run it until every byte is
// shown; `calls` tells how often that was.
qint64 programRun(ktb::test::PtyPair &pty, const QByteArray &bytes, int &calls)
{
    QPlainTextEdit *memo = Form1->Memo1;
    memo->clear();
    ktb::drainEvents();
    if (!pty.writeMaster(bytes) || !waitUntilQueued(Form1->VaComm1, int(bytes.size())))
        return -1;
    // Three characters a byte, and the document's closing separator.
    const int shownWhenDone = 3 * int(bytes.size()) + 1;
    calls = 0;
    QElapsedTimer timer;
    timer.start();
    while (memo->document()->characterCount() < shownWhenDone) {
        const int waiting = Form1->VaComm1->WaitingCount();
        if (waiting > 0) {
            Form1->VaComm1RxChar(Form1->VaComm1, waiting);
            ++calls;
        } else if (timer.elapsed() > 2000) {
            return -1;
        }
    }
    memo->viewport()->repaint();
    const qint64 ns = timer.nsecsElapsed();
    // Every byte must be on show, or the figure would be for less than asked.
    if (memo->toPlainText() != ktb::hexText(bytes))
        return -1;
    return ns;
}

// The naive display: the whole text set again for each byte.
qint64 naiveRun(QPlainTextEdit &box, const QByteArray &bytes)
{
    box.clear();
    ktb::drainEvents();
    QElapsedTimer timer;
    timer.start();
    QString text;
    for (char byte : bytes) {
        text += ktb::hexText(QByteArrayView(&byte, 1));
        box.setPlainText(text);
    }
    box.viewport()->repaint();
    const qint64 ns = timer.nsecsElapsed();
    if (box.toPlainText() != ktb::hexText(bytes))
        return -1;
    return ns;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ktb::setUpApplication(app, QCoreApplication::applicationFilePath());
    if (QFileInfo::exists(QCoreApplication::applicationDirPath() + "/ktbctl.ini")) {
        std::fprintf(stderr, "bench_response: remove the ktbctl.ini beside this program first\n");
        return 1;
    }

    TForm1 window;
    ktb::showCentred(window);
    ktb::test::PtyPair pty;
    if (!pty.isValid()) {
        std::fprintf(stderr, "bench_response: no pseudo-terminal pair\n");
        return 1;
    }
    const QString slave = pty.slavePath();
    window.VaComm1->setDevicePathResolver([slave](const QString &) { return slave; });
    window.VaComm1->setPortNum(1);
    try {
        window.VaComm1->Open();
    } catch (const EVaCommError &failure) {
        std::fprintf(stderr, "bench_response: %s\n", failure.what());
        return 1;
    }

    // The same box as the window's, on its own.
    QPlainTextEdit naive;
    naive.setFont(window.Memo1->font());
    naive.setWordWrapMode(window.Memo1->wordWrapMode());
    naive.resize(window.Memo1->size());
    naive.show();
    ktb::drainEvents();

    // 4095 bytes, the most a Linux tty queue holds, are read by one handler call;
    // 4096 need two. The naive display is too slow to run for every size.
    bool warm = false;
    for (int size : {1024, 4095, 4096}) {
        const bool withNaive = size != 4095;
        const QByteArray bytes = reply(size);
        std::vector<qint64> program, plain;
        int calls = 0;
        // The very first run warms caches and is not counted.
        for (int run = warm ? 1 : 0; run <= runs; ++run) {
            const qint64 ours = programRun(pty, bytes, calls);
            const qint64 theirs = withNaive ? naiveRun(naive, bytes) : 0;
            if (ours < 0 || theirs < 0) {
                std::fprintf(stderr, "bench_response: %d bytes were not all shown\n", size);
                return 1;
            }
            if (run > 0) {
                program.push_back(ours);
                plain.push_back(theirs);
            }
        }
        warm = true;
        print("program", size, program);
        if (withNaive)
            print("naive", size, plain);
        std::printf("program_%d_calls %d\n", size, calls);
    }
    window.VaComm1->Close();
    return 0;
}
