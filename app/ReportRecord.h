#pragma once

#include "CommandLine.h"
#include "details/PackageDetails.h"
#include "inspect/Inspection.h"

#include <QByteArray>
#include <QJsonObject>
#include <chrono>
#include <optional>

// One package's entry in a report, ready to print.
struct ReportRecord
{
    QByteArray printed; // one JSON line, or the text block with its trailing newline
    // The package was read, named, not refused by its signature, and, when signers were
    // expected, signed by one of them.
    bool passed = false;
};

// Inspects `path` as the window would, gathers what the details window would show, and writes
// it in the form `request` asks for. Safe to run on several threads at once.
ReportRecord MakeReportRecord(const QByteArray &path, const ReportRequest &request);

// One package read as the report reads it: inspected as the window would, then everything the
// details window shows, or for a package the inspection refused, its signatures; and, when
// `estimateDownload` is set, the download estimate, one more read of the whole file.
struct ReportedPackage
{
    QByteArray path;
    InspectionResult result; // damaged, as "文件在检查期间被修改", when the file changed meanwhile
    std::optional<PackageDetails> details; // set only when the package was read in full
    std::optional<PackageDetails> refused; // a refused package's signatures, when it is an archive
};
ReportedPackage ReadReportedPackage(const QByteArray &path,
                                    std::chrono::milliseconds toolTimeout = DefaultToolTimeout,
                                    bool estimateDownload = false);

// The package's record as `--report --json` writes it, without `expectedSigner`.
QJsonObject ReportObject(const ReportedPackage &package);

// Whether a record, written by this run or read back from a file, passed: its package was read
// and named, no signature verdict failed, and the expected signer, when it was checked or is
// expected now, matched.
bool RecordPassed(const QJsonObject &record, bool signersExpected);

// The path a record names, as the file system's bytes: `pathHex` when the name is not UTF-8,
// else `path`. Empty when the record names none, or its two keys disagree.
QByteArray RecordPath(const QJsonObject &record);
