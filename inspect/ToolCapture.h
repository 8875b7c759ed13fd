#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>
#include <chrono>

// How long the tool may run before it is killed and its package taken for damaged. aapt reads
// framework-res.apk in 0.13 s; a package built to keep it busy (a label in 60,001 locales) holds
// it for 15 s and more, and the window waits for it on its one thread.
constexpr std::chrono::milliseconds DefaultToolTimeout{10000};

// How much the tool may write before it is killed and its package taken for damaged. aapt writes
// 10 KB for framework-res.apk and 2 MB for a package of 30,000 permissions; a package can make it
// write without end, and every line of it is held, and split into lines, in memory.
constexpr qsizetype MaxToolOutput = qsizetype(4) << 20;

// One run of the tool: command[0] with the rest as its arguments. Its standard output and
// standard error arrive merged in arrival order, its standard input is the null device, and it
// inherits no descriptor of ours beyond 0-2 and `keptDescriptor` (when not -1). It may run for
// `timeout` from its start and write MaxToolOutput bytes. Starting and finishing are apart, so
// other work can go on while the tool runs.
class ToolRun
{
public:
    ToolRun(const QStringList &command, int keptDescriptor = -1,
            std::chrono::milliseconds timeout = DefaultToolTimeout);
    ToolRun(const ToolRun &) = delete;
    ToolRun &operator=(const ToolRun &) = delete;

    bool started() const { return running; }
    // Takes in whatever output has arrived, without waiting, so that a tool writing more than a
    // pipe holds never waits on us; once its time is up or it has written too much, it is left
    // to wait until finish() kills it.
    void drain();
    // The output taken in so far.
    const QByteArray &outputSoFar() const { return output; }
    // Reads the rest of the output and waits for the tool to end, at most until its time is up
    // or it has written more than MaxToolOutput, when it is killed; then appends everything it
    // wrote to `out`. Returns 1 when the tool ran (to its end or until it was killed); 0 when it
    // could not be started, with nothing appended.
    int finish(QByteArray &out);
    // Whether the finished tool was ended by a signal: a crash or a kill, never a verdict.
    bool endedBySignal() const { return killed; }
    // Whether the finished tool was killed because its time was up.
    bool timedOut() const { return overtime; }
    // Whether the finished tool wrote more than MaxToolOutput; one still running then was
    // killed.
    bool wroteTooMuch() const { return overflowed; }

private:
    // Neither past its time nor past its output's cap.
    bool mayGoOn() const;

    QProcess tool;
    QDeadlineTimer deadline;
    QByteArray output;
    bool running = false;
    bool killed = false;
    bool overtime = false;
    bool overflowed = false;
};

// Starts the tool and finishes it at once.
int RunToolCapture(const QStringList &command, QByteArray &output, int keptDescriptor = -1,
                   std::chrono::milliseconds timeout = DefaultToolTimeout);
