#include "ToolCapture.h"

#include <QProcess>
#include <unistd.h>

namespace {

// Runs in the child between fork and exec. Marking the descriptors close-on-exec instead of
// closing them keeps QProcess's own start-report pipe working until exec succeeds.
void MarkInheritedDescriptorsCloseOnExec()
{
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
}

} // namespace

int RunToolCapture(const QStringList &command, QByteArray &output)
{
    if (command.isEmpty() || command.first().isEmpty())
        return 0;
    try {
        QProcess tool;
        tool.setProgram(command.first());
        tool.setArguments(command.mid(1));
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.setStandardInputFile(QProcess::nullDevice());
        tool.setChildProcessModifier(MarkInheritedDescriptorsCloseOnExec);
        tool.start(QIODevice::ReadOnly);
        if (!tool.waitForStarted(-1))
            return 0;

        // Waiting keeps draining the pipe into QProcess's buffer, so a tool that writes more
        // than a pipe holds never blocks against us.
        tool.waitForFinished(-1);
        output += tool.readAll();
        return 1;
    } catch (...) {
        return 0;
    }
}
