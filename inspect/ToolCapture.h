#pragma once

#include <QByteArray>
#include <QStringList>

// Runs command[0] with the rest as its arguments and appends everything it writes, standard
// output and standard error merged in arrival order, to `output`. Its standard input is the
// null device, and it inherits no descriptor of ours beyond 0-2. Waits without a time limit.
// Returns 1 when the tool ran to its end; 0 when it could not be started, with nothing appended.
int RunToolCapture(const QStringList &command, QByteArray &output);
