#include "ContainerMetadata.h"

#include "DescriptionLimits.h"
#include "archive/ZipArchive.h"
#include "base/NarrowText.h"
#include "formats/ApkManifest.h"
#include "formats/Formats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// JSON writers disagree on whether a version code is a number or a string.
QString JsonText(const QJsonValue &value)
{
    if (value.isDouble())
        return QString::number(qint64(value.toDouble()));
    return value.toString();
}

void ReadToc(const QByteArray &bytes, ContainerMetadata &metadata)
{
    const std::optional<qint64> messages = CountTocMessages(bytes, MaxDescriptionItems);
    if (!messages)
        return;
    if (*messages > MaxDescriptionItems) {
        metadata.overLimit = true;
        return;
    }
    const std::optional<ApkSetToc> toc = ReadApkSetToc(bytes).value;
    if (!toc)
        return;
    metadata.readable = true;
    metadata.packageName = toc->packageName;
    metadata.baseEntry = toc->baseEntry;
}

void ReadJson(const QByteArray &bytes, BundleKind kind, ContainerMetadata &metadata)
{
    if (CountJsonValues(bytes, MaxDescriptionItems) > MaxDescriptionItems) {
        metadata.overLimit = true;
        return;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return;
    metadata.readable = true;
    const QJsonObject root = document.object();
    switch (kind) {
    case BundleKind::Xapk:
        metadata.packageName = root.value(QLatin1String("package_name")).toString();
        metadata.versionCode = JsonText(root.value(QLatin1String("version_code")));
        metadata.versionName = root.value(QLatin1String("version_name")).toString();
        for (const QJsonValue &split : root.value(QLatin1String("split_apks")).toArray())
            if (split.toObject().value(QLatin1String("id")).toString() == QLatin1String("base"))
                metadata.baseEntry =
                    split.toObject().value(QLatin1String("file")).toString().toUtf8();
        if (metadata.baseEntry.isEmpty() && !metadata.packageName.isEmpty())
            metadata.baseEntry = metadata.packageName.toUtf8() + ".apk";
        break;
    case BundleKind::Apkm:
        metadata.packageName = root.value(QLatin1String("pname")).toString();
        metadata.versionCode = JsonText(root.value(QLatin1String("versioncode")));
        metadata.versionName = root.value(QLatin1String("release_version")).toString();
        metadata.baseEntry = "base.apk";
        break;
    default:
        metadata.packageName = root.value(QLatin1String("package")).toString();
        metadata.versionCode = JsonText(root.value(QLatin1String("version_code")));
        metadata.versionName = root.value(QLatin1String("version_name")).toString();
        metadata.baseEntry = "base.apk";
        break;
    }
}

} // namespace

ContainerMetadata ReadContainerDescription(const QByteArray &bytes, BundleKind kind)
{
    ContainerMetadata metadata;
    if (bytes.size() > MaxDescriptionBytes)
        metadata.overLimit = true;
    else if (kind == BundleKind::ApkSet)
        ReadToc(bytes, metadata);
    else
        ReadJson(bytes, kind, metadata);
    return metadata;
}

ContainerMetadata ReadContainerMetadata(const ZipArchive &archive, const BundleLayout &layout)
{
    ContainerMetadata metadata;
    if (layout.metadata.isEmpty())
        return metadata;
    // Judged by the size it declares, before a byte of it is inflated.
    if (archive.entrySize(layout.metadata).value_or(0) > MaxDescriptionBytes)
        metadata.overLimit = true;
    else if (const std::optional<QByteArray> bytes =
                 archive.readEntry(layout.metadata, MaxDescriptionBytes))
        metadata = ReadContainerDescription(*bytes, layout.kind);
    metadata.source = layout.metadata;
    return metadata;
}

QList<Failure> MetadataDisagreements(const ContainerMetadata &metadata, const ApkManifest &base,
                                     const QByteArray &baseEntry)
{
    QList<Failure> notes;
    if (metadata.source.isEmpty())
        return notes;
    const QString source = FromNarrow(metadata.source);
    if (metadata.overLimit)
        return {{FailureCode::BundleDescriptionOverLimit, {source}}};
    if (!metadata.readable)
        return {{FailureCode::BundleDescriptionUnreadable, {source}}};
    // A value the base gives only as a resource reference is not compared.
    const auto compare = [&](FailureCode field, const QString &said, const QString &truth) {
        if (!said.isEmpty() && !truth.isEmpty() && said != truth)
            notes.append({field, {source, said, truth}});
    };
    compare(FailureCode::BundleDescriptionPackageDiffers, metadata.packageName, base.packageName);
    compare(FailureCode::BundleDescriptionVersionCodeDiffers, metadata.versionCode,
            base.versionCode);
    compare(FailureCode::BundleDescriptionVersionNameDiffers, metadata.versionName,
            base.versionName);
    if (!metadata.baseEntry.isEmpty() && metadata.baseEntry != baseEntry)
        notes.append({FailureCode::BundleDescriptionBaseDiffers,
                      {source, FromNarrow(metadata.baseEntry), FromNarrow(baseEntry)}});
    return notes;
}
