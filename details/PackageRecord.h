#pragma once

#include "PackageDetails.h"
#include "inspect/Inspection.h"

#include <QByteArray>
#include <chrono>
#include <optional>

class ByteSink;

// One package read by its path into everything known of it: what the report writes of it, what
// `pelmora --compare` compares of both packages, and the comparison window of the new one.
struct PackageRecord
{
    QByteArray path;
    InspectionResult result; // damaged, as "文件在检查期间被修改", when the file changed meanwhile
    std::optional<PackageDetails> details; // set only when the package was read in full
    std::optional<PackageDetails> refused; // a refused package's signatures, when it is an archive
};

// How a record is read.
struct RecordReading
{
    std::chrono::milliseconds toolTimeout = DefaultToolTimeout;
    // The download estimate too: one more read of the whole file, which must not change meanwhile.
    bool estimateDownload = false;
    // Fed every chunk of the inspection's read of the file as well, for a progress bar.
    ByteSink *progress = nullptr;
};

// Inspects `path` as a drop would, with one read of the file for every digest
// (InspectionRead::Everything), then reads everything the details window shows
// (LoadPackageDetails) or, for a package the inspection refused, its signatures
// (LoadRefusedSignatures), and the download estimate when asked for. A package the inspection
// accepted whose file changed before all of that was read is refused after all (RefuseAsChanged)
// and keeps no details. Runs on the calling thread and touches no widget, so several threads may
// read records at once; under a ScopedReadStop every read stops once its flag is set, and the
// record is then not to be used.
PackageRecord ReadPackageRecord(const QByteArray &path, const RecordReading &reading = {});
