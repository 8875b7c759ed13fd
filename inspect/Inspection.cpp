#include "Inspection.h"

#include "BadgingParser.h"
#include "ExtensionRule.h"
#include "ManifestIdentity.h"
#include "PackageReading.h"
#include "ToolCapture.h"
#include "ToolComplaints.h"
#include "ToolTarget.h"
#include "apk/VerifyPackageSignatures.h"
#include "archive/ZipArchive.h"
#include "base/NarrowText.h"
#include "digest/FileMd5.h"
#include "digest/ReadOnce.h"

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

// The tool's output over the target and what the read of the file gave while the tool ran.
struct ToolReading
{
    QByteArray output;
    QByteArray md5;
    bool readable = false;     // the file is a regular file that could be hashed
    bool vouched = false;      // the tool ran and was not ended by a signal
    bool timedOut = false;     // the tool was killed once its time was up
    bool wroteTooMuch = false; // the tool was killed once it had written past its cap
    std::shared_ptr<const PackageReading> reading; // InspectionRead::Everything only
};

// The tool is another process. It starts as soon as all it reads is there: at once, or for a
// bundle whose base is copied from the read below, once the read has passed the base. Between
// chunks its output is taken in, so it never waits on a full pipe.
class ToolBesideRead
{
public:
    ToolBesideRead(ToolTarget &target, std::chrono::milliseconds timeout)
        : target(target), timeout(timeout)
    {
        startWhenReady();
    }

    void startWhenReady()
    {
        if (!tool && target.ready())
            tool.emplace(target.command(), target.descriptor(), timeout);
    }
    // Between chunks: takes in the tool's output, and tells whether it has said "ERROR" in a
    // line it has finished; a line still being written may yet close the value it holds.
    bool drainSaysError()
    {
        startWhenReady();
        if (!tool)
            return false;
        tool->drain();
        const QByteArray &output = tool->outputSoFar();
        const qsizetype finished = output.lastIndexOf('\n') + 1;
        saidError =
            saidError || ToolSaysError(QByteArrayView(output).sliced(checked, finished - checked));
        checked = finished;
        return saidError;
    }
    // Whatever the read left of the base is copied now, and the tool's run is awaited.
    void finish(ToolReading &reading)
    {
        if (target.finishCopy())
            startWhenReady();
        if (!tool)
            return;
        tool->finish(reading.output);
        reading.vouched = !tool->endedBySignal();
        reading.timedOut = tool->timedOut();
        reading.wroteTooMuch = tool->wroteTooMuch();
    }

private:
    ToolTarget &target;
    const std::chrono::milliseconds timeout;
    std::optional<ToolRun> tool;
    qsizetype checked = 0; // the output's lines before this have been looked at
    bool saidError = false;
};

ToolReading RunToolWhileReading(ToolTarget &target, const InspectedPackage &inspected,
                                InspectionRead read, ByteSink *progress,
                                std::chrono::milliseconds toolTimeout)
{
    const SafeFile &file = inspected.file->file();
    ToolBesideRead tool(target, toolTimeout);
    ToolReading reading;
    quint32 shownSize = 0;
    reading.readable = file.isOpen() && QueryFileSize32(file.descriptor(), shownSize);
    // The window shows the MD5 of files of 1 to 4,294,967,295 bytes, as ComputeFileMd5 gives it.
    const bool md5Shown = reading.readable && shownSize > 0;
    DigestSink md5(DigestAlgorithm::Md5);
    std::optional<PackageReader> reader;
    QList<ByteSink *> sinks;
    QList<ByteSink *> beside; // hashed on a thread of their own, as ComputeFileMd5 hashes
    if (read == InspectionRead::Everything && reading.readable) {
        reader.emplace(inspected);
        sinks = reader->sinks();
    } else if (md5Shown) {
        beside = {&md5};
    }
    const bool reads = !sinks.isEmpty() || !beside.isEmpty();
    if (ByteSink *copy = target.pendingCopy(); copy && reads)
        sinks.append(copy);
    if (progress && reads)
        sinks.append(progress);
    // Once the tool has said "ERROR" the MD5 is likely of no use; a report reads on regardless.
    const bool whole =
        reads &&
        ReadOnce(
            file, sinks, beside,
            [&] { return tool.drainSaysError() ? read == InspectionRead::Everything : true; },
            NarrowReadAhead);
    tool.finish(reading);
    if (reader) {
        const auto got = std::make_shared<PackageReading>(reader->finish(whole));
        if (md5Shown && got->digests)
            reading.md5 = got->digests->md5;
        reading.reading = got;
    } else if (md5Shown && whole) {
        reading.md5 = md5.finishHex();
    }
    return reading;
}

// Whether the signature verifies in full over the very bytes the tool read: as the read beside
// the tool checked them, when it did, so the report does not check a package twice.
bool VerifiesInFull(const ToolTarget &target, const ToolReading &reading)
{
    const bool checked =
        reading.reading && reading.reading->signatures && target.baseEntry().isEmpty();
    const SignatureReport report =
        checked ? *reading.reading->signatures
                : VerifyPackageSignatures(target.apk(), ZipArchive(target.apk(), target.budget()));
    return report.verdict() == SignatureVerdict::Verified;
}

// aapt complains of a label or an icon that refers to a missing resource in packages that
// install fine. Such a package is taken as good only when the tool complains of nothing else,
// named it, and its signature verifies in full.
bool ComplaintsExcused(const ToolTarget &target, const ToolReading &reading, BadgingInfo &info)
{
    BadgingInfo named;
    if (!ComplainsOnlyOfLabelsAndIcons(ToolComplaints(reading.output)) ||
        !ParseBadgingValues(reading.output, named) || named.packageName.isEmpty() ||
        !VerifiesInFull(target, reading))
        return false;
    info = named;
    return true;
}

} // namespace

QString NotKeptReason(const PackageFile &package)
{
    return package.keeping() == PackageFile::Keeping::BeingWritten
               ? QStringLiteral("文件正被其他程序写入")
               : QStringLiteral("无法取得文件租约，也无法复制文件");
}

QString ChangedReason(const PackageFile &file)
{
    return file.openedForWriting() ? QStringLiteral("文件在检查期间被其他程序打开写入")
                                   : QStringLiteral("文件在检查期间被修改");
}

void RefuseAsChanged(InspectionResult &result, const PackageFile &file)
{
    result.outcome = InspectionOutcome::Damaged;
    result.keepsVersion = true;
    result.message = Damaged;
    result.reason = ChangedReason(file);
}

InspectionResult InspectPackage(const QByteArray &path, InspectionRead read, ByteSink *progress,
                                std::chrono::milliseconds toolTimeout)
{
    const PackageName name = ReadPackageName(path);
    switch (name.check) {
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
    // Every reader below must see one content of it, or none vouches for it.
    if (file.isOpen() && !package->keptToOneContent())
        return Refused(InspectionOutcome::Damaged, Damaged, NotKeptReason(*package));
    // A bundle's base reaches the tool from memory, copied as the read below passes it; the MD5
    // stays the bundle file's own.
    ToolTarget target(*package, name.bundle, BaseCopy::Later);
    InspectedPackage inspected{path, {}, {}, target.baseEntry(), target.layout(), package};
    if (target.damaged()) {
        InspectionResult result = Refused(
            file.isOpen() ? InspectionOutcome::Damaged : InspectionOutcome::Unreadable, Damaged);
        result.bundleProblem = target.problem();
        result.inspected = inspected;
        return result;
    }
    ToolReading reading = RunToolWhileReading(target, inspected, read, progress, toolTimeout);
    BadgingInfo info;
    // A tool that was killed or crashed, or never ran, has vouched for nothing, whatever it
    // printed.
    BadgingStatus status = !reading.vouched ? ToolError : ParseBadging(reading.output, info);
    if (status == ToolError && reading.vouched && reading.readable &&
        (ComplaintsExcused(target, reading, info) ||
         IdentityFromManifest(
             target.apk(), target.budget(), reading.output,
             [&] { return VerifiesInFull(target, reading); }, info))) {
        status = Parsed;
        if (reading.md5.isEmpty())
            ComputeFileMd5(file, reading.md5);
    }
    inspected.toolOutput = reading.output;
    inspected.md5 = reading.md5;
    inspected.reading = reading.reading;

    InspectionResult result;
    // Everything is read: it was all one file only if that file is still as it was opened.
    if (package->changed())
        RefuseAsChanged(result, *package);
    else if (reading.timedOut)
        result = Refused(InspectionOutcome::Damaged, Damaged, QStringLiteral("工具超时"));
    else if (reading.wroteTooMuch)
        result = Refused(InspectionOutcome::Damaged, Damaged, QStringLiteral("工具输出超过上限"));
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
