#pragma once

#include <QByteArray>
#include <QList>

// The packages a report covers: each file named as it is (whatever its extension, so that it
// gets its own record), and for each folder every file below it whose name passes the extension
// rule, in byte order of the path. Links to folders are not followed, so no loop can form.
QList<QByteArray> CollectReportFiles(const QList<QByteArray> &paths);
