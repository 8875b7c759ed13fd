#pragma once

#include "CommandLine.h"

#include <QByteArray>

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
