#pragma once

#include "CommandLine.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The packages a report covers: each file named as it is (whatever its extension, so that it
// gets its own record), and for each folder every file below it whose name passes the extension
// rule, in byte order of the path. Links to folders are not followed, so no loop can form.
QList<QByteArray> CollectReportFiles(const QList<QByteArray> &paths);

// The shard of `path` among `count`: the first 8 bytes of the SHA-256 of its bytes, read as a
// big-endian number, modulo `count`. Any other tool can compute it the same way.
quint64 ShardOf(const QByteArray &path, quint64 count);

// What a request's report covers.
struct ReportFileSelection
{
    // Its paths', then its list's files (the list's relative entries made absolute), those of
    // its shard; each only once when the records go to a file, which holds one per path.
    QList<QByteArray> files;
    qsizetype found = 0; // files found, of every shard
};
// Returns false with `error` set, in Chinese, when the list cannot be read.
bool SelectReportFiles(const ReportRequest &request, ReportFileSelection &selection,
                       QString &error);
