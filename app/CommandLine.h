#pragma once

#include "inspect/ToolCapture.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>

// What `pelmora --report` is asked to do.
struct ReportRequest
{
    bool json = false;
    int jobs = 0; // 0: one per core
    // How long the tool may run on each package.
    std::chrono::milliseconds toolTimeout = DefaultToolTimeout;
    // Certificate SHA-256 digests, 32 bytes each, that the packages' signers must be among.
    QList<QByteArray> expectedSigners;
    // --download-size: each package's estimated download size, a compression pass over it.
    bool downloadSize = false;
    QList<QByteArray> paths; // files and folders, as the file system has their bytes
    // --files-from: a list of more paths, NUL-separated or, with --files-from-lines, one a line;
    // "-" is standard input. Empty when not given.
    QByteArray filesFrom;
    bool filesFromLines = false;
    // --shard K/N: only the files whose shard of `shardCount` is `shardIndex`.
    quint64 shardIndex = 0;
    quint64 shardCount = 1;
    // --output: the file the JSON records are appended to, instead of standard output.
    QByteArray output;
    bool resume = false; // skip the paths `output` already holds a whole record of
};

// What `pelmora --compare` is asked to do.
struct CompareRequest
{
    bool json = false;
    // The installed package and the one that would update it, as the file system has their bytes.
    QByteArray oldPath;
    QByteArray newPath;
};

// What `pelmora --contents` is asked to do.
struct ContentsRequest
{
    bool json = false;
    QByteArray path; // as the file system has its bytes
};

// What `pelmora --manifest` is asked to do.
struct ManifestRequest
{
    QByteArray path; // as the file system has its bytes
};

// What the command line asks for: `pelmora [FILE...]`, `pelmora --report ... PATH...`,
// `pelmora --compare OLD NEW`, `pelmora --contents FILE`, `pelmora --manifest FILE`, `--help`
// or `--version`.
struct CommandLine
{
    // Set when the program ends without a window, with this exit code.
    bool exitNow = false;
    int exitCode = 0;
    // What to print before ending: on standard output, or on standard error for a mistake.
    QString output;
    bool toStandardError = false;
    // The first FILE as the file system's bytes: a file:// URI as its path, a relative name
    // made absolute. Empty when no file was named.
    QByteArray file;
    // Set for --report: no window, a report on standard output instead.
    bool report = false;
    ReportRequest reportRequest;
    // Set for --compare: no window, the comparison on standard output instead.
    bool compare = false;
    CompareRequest compareRequest;
    // Set for --contents: no window, the package's entries on standard output instead.
    bool contents = false;
    ContentsRequest contentsRequest;
    // Set for --manifest: no window, the package's manifest on standard output instead.
    bool manifest = false;
    ManifestRequest manifestRequest;
};

// `path` made absolute as the command line makes a relative name absolute: the working
// directory's bytes, a '/', then the name's, nothing resolved. Empty when the working directory
// cannot be had.
QByteArray AbsolutePath(const QByteArray &path);

// Reads the program's arguments (without the program's name, Qt's own options already taken
// out) as the bytes they came as, so a file name that is not UTF-8 survives.
CommandLine ParseCommandLine(const QList<QByteArray> &arguments);
