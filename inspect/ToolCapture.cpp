#include "ToolCapture.h"

#include <fcntl.h>
#include <unistd.h>

ToolRun::ToolRun(const QStringList &command, int keptDescriptor, std::chrono::milliseconds timeout)
{
    if (command.isEmpty() || command.first().isEmpty())
        return;
    tool.setProgram(command.first());
    tool.setArguments(command.mid(1));
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.setStandardInputFile(QProcess::nullDevice());
    // Runs in the child between fork and exec. Marking the descriptors close-on-exec instead of
    // closing them keeps QProcess's own start-report pipe working until exec succeeds.
    tool.setChildProcessModifier([kept = keptDescriptor] {
        close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        if (kept >= 0)
            fcntl(kept, F_SETFD, 0);
    });
    tool.start(QIODevice::ReadOnly);
    running = tool.waitForStarted(-1);
    deadline.setRemainingTime(timeout);
}

bool ToolRun::mayGoOn() const
{
    return !deadline.hasExpired() && output.size() <= MaxToolOutput;
}

void ToolRun::drain()
{
    if (!running)
        return;
    while (mayGoOn() && tool.waitForReadyRead(0))
        output += tool.readAll();
}

int ToolRun::finish(QByteArray &out)
{
    if (!running)
        return 0;
    // Read as it arrives, so that the tool never waits on a full pipe, and a piece at a time, so
    // that one writing without pause still stops at its time or at its output's cap.
    while (tool.state() != QProcess::NotRunning && mayGoOn())
        if (tool.waitForReadyRead(int(deadline.remainingTime())))
            output += tool.readAll();
    if (tool.state() != QProcess::NotRunning) {
        overtime = output.size() <= MaxToolOutput;
        tool.kill();
        tool.waitForFinished(-1);
    }
    output += tool.readAll();
    overflowed = output.size() > MaxToolOutput;
    killed = tool.exitStatus() == QProcess::CrashExit;
    out += output;
    return 1;
}

int RunToolCapture(const QStringList &command, QByteArray &output, int keptDescriptor,
                   std::chrono::milliseconds timeout)
{
    try {
        ToolRun run(command, keptDescriptor, timeout);
        return run.finish(output);
    } catch (...) {
        return 0;
    }
}
