#pragma once

#include "CommandLine.h"
#include "details/PackageRecord.h"

#include <QByteArray>
#include <QJsonObject>

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

// The package's record as `--report --json` writes it, without `expectedSigner`.
QJsonObject ReportObject(const PackageRecord &record);

// Whether a record, written by this run or read back from a file, passed: its package was read
// and named, no signature verdict failed, and the expected signer, when it was checked or is
// expected now, matched.
bool RecordPassed(const QJsonObject &record, bool signersExpected);

// The path a record names, as the file system's bytes: `pathHex` when the name is not UTF-8,
// else `path`. Empty when the record names none, or its two keys disagree.
QByteArray RecordPath(const QJsonObject &record);
