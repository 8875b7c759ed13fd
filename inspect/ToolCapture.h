#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

// One run of the tool: command[0] with the rest as its arguments. Its standard output and
// standard error arrive merged in arrival order, its standard input is the null device, and it
// inherits no descriptor of ours beyond 0-2 and `keptDescriptor` (when not -1).
// Starting and finishing are apart, so other work can go on while the tool runs.
class ToolRun
{
public:
    ToolRun(const QStringList &command, int keptDescriptor = -1);
    ToolRun(const ToolRun &) = delete;
    ToolRun &operator=(const ToolRun &) = delete;

    bool started() const { return running; }
    // Takes in whatever output has arrived, without waiting, so that a tool writing more than a
    // pipe holds never waits on us.
    void drain();
    // The output taken in so far.
    const QByteArray &outputSoFar() const { return output; }
    // Reads the rest of the output and waits without a time limit for the tool to end, then
    // appends everything it wrote to `out`. Returns 1 when the tool ran to its end; 0 when it
    // could not be started, with nothing appended.
    int finish(QByteArray &out);
    // Whether the finished tool was ended by a signal: a crash or a kill, never a verdict.
    bool endedBySignal() const { return killed; }

private:
    QProcess tool;
    QByteArray output;
    bool running = false;
    bool killed = false;
};

// Starts the tool and finishes it at once.
int RunToolCapture(const QStringList &command, QByteArray &output, int keptDescriptor = -1);
