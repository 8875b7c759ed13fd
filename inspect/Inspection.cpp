#include "Inspection.h"

#include "BadgingParser.h"
#include "ExtensionRule.h"
#include "ManifestIdentity.h"
#include "NarrowText.h"
#include "ToolCapture.h"
#include "ToolComplaints.h"
#include "ToolTarget.h"
#include "archive/ZipArchive.h"
#include "digest/FileMd5.h"
#include "signing/VerifyPackageSignatures.h"

namespace {

const QString Damaged = QStringLiteral("apk类型已经损坏");

InspectionResult Refused(InspectionOutcome outcome, const QString &message,
                         const QString &reason = {})
{
    InspectionResult result;
    result.outcome = outcome;
    result.keepsVersion = true;
    result.message = message;
    result.reason = reason;
    return result;
}

// The tool's output over the target and the file's MD5, the file hashed while the tool runs.
struct ToolReading
{
    QByteArray output;
    QByteArray md5;
    bool readable = false; // the file is a regular file that could be hashed
    bool killed = false;   // the tool died by a signal
};

ToolReading RunToolWhileHashing(const ToolTarget &target, const SafeFile &file)
{
    // The tool is another process. Between chunks its output is taken in, and once it has said
    // "ERROR" the digest is likely of no use.
    ToolRun tool(target.command(), target.descriptor());
    ToolReading reading;
    reading.readable = ComputeFileMd5(file, reading.md5, [&] {
        tool.drain();
        return !tool.outputSoFar().contains("ERROR");
    });
    tool.finish(reading.output);
    reading.killed = tool.endedBySignal();
    return reading;
}

// aapt complains of a label or an icon that refers to a missing resource in packages that
// install fine. Such a package is taken as good only when the tool complains of nothing else,
// named it, and its signature verifies in full over the very bytes the tool read.
bool ComplaintsExcused(const ToolTarget &target, const QByteArray &output, BadgingInfo &info)
{
    BadgingInfo named;
    if (!ComplainsOnlyOfLabelsAndIcons(ToolComplaints(output)) ||
        !ParseBadgingValues(output, named) || named.packageName.isEmpty())
        return false;
    const ZipArchive archive(target.apk(), target.budget());
    if (VerifyPackageSignatures(target.apk(), archive).verdict() != SignatureVerdict::Verified)
        return false;
    info = named;
    return true;
}

} // namespace

InspectionResult InspectPackage(const QByteArray &path)
{
    switch (CheckExtension(path)) {
    case ExtensionCheck::Missing:
        return Refused(InspectionOutcome::Folder, QStringLiteral("不处理文件夹"));
    case ExtensionCheck::WrongType:
        return Refused(InspectionOutcome::WrongType, QStringLiteral("类型错误"));
    case ExtensionCheck::Accepted:
        break;
    }

    // Opened once: the tool and every read after it see this one file.
    const auto package = std::make_shared<const PackageFile>(path);
    if (!package->isOpen())
        return Refused(InspectionOutcome::Unreadable, Damaged);
    const SafeFile &file = package->file();
    // A bundle's base reaches the tool from memory; the MD5 stays the bundle file's own.
    const ToolTarget target(*package);
    InspectedPackage inspected{path, {}, {}, target.baseEntry(), package};
    if (target.damaged()) {
        InspectionResult result =
            Refused(file.isOpen() ? InspectionOutcome::Damaged : InspectionOutcome::Unreadable,
                    Damaged, target.problem());
        result.inspected = inspected;
        return result;
    }
    ToolReading reading = RunToolWhileHashing(target, file);
    BadgingInfo info;
    // A tool that was killed or crashed has vouched for nothing, whatever it printed.
    BadgingStatus status = reading.killed ? ToolError : ParseBadging(reading.output, info);
    if (status == ToolError && !reading.killed && reading.readable &&
        (ComplaintsExcused(target, reading.output, info) ||
         IdentityFromManifest(target.apk(), target.budget(), reading.output, info))) {
        status = Parsed;
        ComputeFileMd5(file, reading.md5);
    }
    inspected.toolOutput = reading.output;
    inspected.md5 = reading.md5;

    InspectionResult result;
    // Everything is read: it was all one file only if that file is still as it was opened.
    if (package->changed())
        result =
            Refused(InspectionOutcome::Damaged, Damaged, QStringLiteral("文件在检查期间被修改"));
    else if (status == ToolError)
        result = Refused(
            reading.readable ? InspectionOutcome::Damaged : InspectionOutcome::Unreadable, Damaged);
    result.inspected = inspected;
    if (result.outcome != InspectionOutcome::Ok)
        return result;
    result.fields = {FromNarrow(path), FromNarrow(info.packageName), FromNarrow(reading.md5),
                     FromNarrow(info.versionName)};
    if (!reading.readable)
        result.outcome = InspectionOutcome::Unreadable;
    else if (status != Parsed || info.packageName.isEmpty())
        result.outcome = InspectionOutcome::ToolSilent;
    if (!info.packageName.isEmpty())
        result.package = inspected;
    return result;
}
