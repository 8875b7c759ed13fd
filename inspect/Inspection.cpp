#include "Inspection.h"

#include "BadgingParser.h"
#include "ExtensionRule.h"
#include "ManifestIdentity.h"
#include "NarrowText.h"
#include "ToolCapture.h"
#include "ToolTarget.h"
#include "archive/ZipArchive.h"
#include "digest/FileMd5.h"
#include "digest/SafeFile.h"
#include "signing/VerifyPackageSignatures.h"

namespace {

const QString Damaged = QStringLiteral("apk类型已经损坏");

InspectionResult Refused(InspectionOutcome outcome, const QString &message)
{
    InspectionResult result;
    result.outcome = outcome;
    result.keepsVersion = true;
    result.message = message;
    return result;
}

// aapt says "ERROR getting 'android:icon' attribute" about packages that install fine. Such a
// package is taken as good only when it names itself and its signature verifies in full.
// `path` is the APK the tool read: the file, or a bundle's base in memory.
bool ErrorsAreHarmless(const QByteArray &path, const QByteArray &output, BadgingInfo &info)
{
    BadgingInfo named;
    if (!ParseBadgingValues(output, named) || named.packageName.isEmpty())
        return false;
    const SafeFile file(path);
    const ZipArchive archive(file);
    if (VerifyPackageSignatures(file, archive).verdict() != SignatureVerdict::Verified)
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

    // A bundle's base reaches the tool from memory; the MD5 stays the bundle file's own.
    const ToolTarget target(path);
    if (target.damaged())
        return Refused(SafeFile(path).isOpen() ? InspectionOutcome::Damaged
                                               : InspectionOutcome::Unreadable,
                       Damaged);
    // The tool is another process: the file is hashed while it runs. Between chunks its output
    // is taken in, and once it has said "ERROR" the digest is likely of no use.
    ToolRun tool(target.command(), target.descriptor());
    QByteArray digest;
    const bool readable = ComputeFileMd5(path, digest, [&] {
        tool.drain();
        return !tool.outputSoFar().contains("ERROR");
    });
    QByteArray output;
    tool.finish(output);
    BadgingInfo info;
    // A tool that was killed or crashed has vouched for nothing, whatever it printed.
    BadgingStatus status = tool.endedBySignal() ? ToolError : ParseBadging(output, info);
    if (status == ToolError && !tool.endedBySignal() && readable &&
        (ErrorsAreHarmless(target.apkPath(), output, info) ||
         IdentityFromManifest(target.apkPath(), output, info))) {
        status = Parsed;
        ComputeFileMd5(path, digest);
    }

    if (status == ToolError)
        return Refused(readable ? InspectionOutcome::Damaged : InspectionOutcome::Unreadable,
                       Damaged);
    InspectionResult result;
    result.fields = {FromNarrow(path), FromNarrow(info.packageName), FromNarrow(digest),
                     FromNarrow(info.versionName)};
    if (!readable)
        result.outcome = InspectionOutcome::Unreadable;
    else if (status != Parsed || info.packageName.isEmpty())
        result.outcome = InspectionOutcome::ToolSilent;
    if (!info.packageName.isEmpty())
        result.package = InspectedPackage{path, output, digest, target.baseEntry()};
    return result;
}
