#pragma once

// The two real executables as seen from outside: the simulated module and a copy
// of the program in a folder of its own, each a child process whose output lines
// the tests wait for.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <csignal>
#include <optional>
#include <sys/types.h>
#include <unistd.h>

namespace ktb::e2e {

// Generous: only ever waited for, never asserted as a bound. A sanitizer build
// starts the program several times slower.
constexpr int waitMs = 30000;

// Lines of one output channel of a child, collected as they arrive.
class LineReader
{
public:
    LineReader(QProcess &process, QProcess::ProcessChannel channel)
        : process_(process), channel_(channel)
    {}

    // The next `count` lines; fewer when the child ends or the wait runs out.
    QStringList next(int count, int timeoutMs = waitMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        QStringList result;
        while (result.size() < count) {
            fetch();
            const qsizetype newline = pending_.indexOf('\n');
            if (newline >= 0) {
                result << QString::fromUtf8(pending_.left(newline));
                pending_.remove(0, newline + 1);
                continue;
            }
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
                break;
            process_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        }
        return result;
    }

    // Everything received so far that was not yet returned by next().
    QByteArray rest()
    {
        fetch();
        return pending_;
    }

private:
    void fetch()
    {
        process_.setReadChannel(channel_);
        pending_ += process_.readAll();
    }

    QProcess &process_;
    QProcess::ProcessChannel channel_;
    QByteArray pending_;
};

// A child that is killed on the way out of a test, whatever happened in it.
class Child
{
public:
    Child() : out(process, QProcess::StandardOutput), err(process, QProcess::StandardError) {}
    ~Child() { kill(SIGKILL); }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    bool start(const QString &program, const QStringList &args,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        process.setProcessEnvironment(environment);
        process.start(program, args);
        return process.waitForStarted(waitMs);
    }

    pid_t pid() const { return pid_t(process.processId()); }
    bool running() const { return process.state() != QProcess::NotRunning; }

    // Sends the signal and waits until the child has been reaped; true when it is gone.
    bool kill(int signal)
    {
        if (!running())
            return true;
        ::kill(pid(), signal);
        return process.waitForFinished(waitMs);
    }

    QProcess process;
    LineReader out;
    LineReader err;
};

// The simulated module with its device link at `linkPath`; `args` are added.
inline bool startSimulator(Child &sim, const QString &linkPath, const QStringList &args = {})
{
    if (!sim.start(QStringLiteral(KTBSIM_PATH), QStringList{"--link", linkPath} + args))
        return false;
    const QStringList ready = sim.out.next(1);
    return !ready.isEmpty() && ready.first().startsWith("ktbsim: listening on");
}

// A folder holding a copy of the program and its settings file, as an installed
// copy that the operator may write to. HOME and XDG_CONFIG_HOME point into a
// folder of their own so that nothing the program does reaches the real ones.
struct ProgramCopy
{
    explicit ProgramCopy(const QString &root)
        : dir(root + "/program"), home(root + "/home"), runtime(root + "/runtime"),
          exe(dir + "/ktbctl"), ini(dir + "/ktbctl.ini")
    {
        QDir().mkpath(dir);
        QDir().mkpath(home);
        // Qt complains on standard error about a runtime directory that is missing or
        // open to others, and the tests read standard error.
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        copied = QFile::copy(QStringLiteral(KTBCTL_PATH), exe);
    }

    bool writeIni(const QByteArray &content) const
    {
        QFile file(ini);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(content) == content.size();
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/.config");
        env.insert("XDG_RUNTIME_DIR", runtime);
        return env;
    }

    bool start(Child &program) const { return program.start(exe, {}, environment()); }

    QString dir, home, runtime, exe, ini;
    bool copied = false;
};

// User plus system CPU time of a running process, all threads, in seconds.
inline std::optional<double> cpuSeconds(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = stat.readAll();
    // The command name in parentheses may hold blanks; the fields after it do not.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    // After the name: state is field 3 of the file, utime 14 and stime 15.
    const double ticks = double(fields[11].toLongLong() + fields[12].toLongLong());
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

} // namespace ktb::e2e
