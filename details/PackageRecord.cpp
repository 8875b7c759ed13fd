#include "PackageRecord.h"

#include "apk/DownloadEstimate.h"

PackageRecord ReadPackageRecord(const QByteArray &path, const RecordReading &reading)
{
    // One read of the file feeds every digest the record carries.
    PackageRecord record{
        path,
        InspectPackage(path, InspectionRead::Everything, reading.progress, reading.toolTimeout),
        std::nullopt, std::nullopt};
    InspectionResult &result = record.result;
    std::optional<PackageDetails> &details = record.details;
    if (result.package)
        details = LoadPackageDetails(*result.package);
    else if (result.outcome == InspectionOutcome::Damaged && result.inspected)
        record.refused = LoadRefusedSignatures(*result.inspected);
    if (reading.estimateDownload && details && !details->fileChanged) {
        const PackageFile &file = *result.package->file;
        details->downloadEstimate = EstimateDownloadSize(file.file());
        details->estimated = true;
        // Estimated over another file than the one read.
        details->fileChanged = file.changed();
    }
    // The file the tool vouched for changed before everything else was read of it.
    if (result.outcome == InspectionOutcome::Ok && !(details && !details->fileChanged)) {
        RefuseAsChanged(result, *result.package->file);
        details.reset();
    }
    return record;
}
