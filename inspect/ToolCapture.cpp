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

void ToolRun::drain()
{
    if (!running)
        return;
    while (tool.waitForReadyRead(0))
        output += tool.readAll();
}

int ToolRun::finish(QByteArray &out)
{
    if (!running)
        return 0;
    // Waiting keeps draining the pipe into QProcess's buffer.
    if (!tool.waitForFinished(int(deadline.remainingTime())) &&
        tool.state() != QProcess::NotRunning) {
        overtime = true;
        tool.kill();
        tool.waitForFinished(-1);
    }
    output += tool.readAll();
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
