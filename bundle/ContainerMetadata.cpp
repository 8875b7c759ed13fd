#include "ContainerMetadata.h"

#include "ApkManifest.h"
#include "archive/ZipArchive.h"
#include "bundle/ApkSetToc.pb.h"
#include "inspect/NarrowText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Descriptions are a few kilobytes; this only keeps a hostile one from taking the memory.
constexpr qint64 MaxDescriptionBytes = 16 << 20;

// JSON writers disagree on whether a version code is a number or a string.
QString JsonText(const QJsonValue &value)
{
    if (value.isDouble())
        return QString::number(qint64(value.toDouble()));
    return value.toString();
}

void ReadToc(const QByteArray &bytes, ContainerMetadata &metadata)
{
    pelmora::apkset::BuildApksResult toc;
    if (!toc.ParseFromArray(bytes.constData(), int(bytes.size())))
        return;
    metadata.readable = true;
    metadata.packageName = QString::fromStdString(toc.package_name());
    for (const auto &variant : toc.variant())
        for (const auto &set : variant.apk_set())
            for (const auto &apk : set.apk_description())
                if (metadata.baseEntry.isEmpty() && set.module_metadata().name() == "base" &&
                    apk.split_apk_metadata().is_master_split())
                    metadata.baseEntry = QByteArray::fromStdString(apk.path());
}

void ReadJson(const QByteArray &bytes, BundleKind kind, ContainerMetadata &metadata)
{
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

ContainerMetadata ReadContainerMetadata(const ZipArchive &archive, const BundleLayout &layout)
{
    ContainerMetadata metadata;
    metadata.source = layout.metadata;
    if (layout.metadata.isEmpty())
        return metadata;
    const std::optional<QByteArray> bytes = archive.readEntry(layout.metadata, MaxDescriptionBytes);
    if (!bytes)
        return metadata;
    if (layout.kind == BundleKind::ApkSet)
        ReadToc(*bytes, metadata);
    else
        ReadJson(*bytes, layout.kind, metadata);
    return metadata;
}

QStringList MetadataDisagreements(const ContainerMetadata &metadata, const ApkManifest &base,
                                  const QByteArray &baseEntry)
{
    QStringList notes;
    if (metadata.source.isEmpty())
        return notes;
    const QString source = FromNarrow(metadata.source);
    if (!metadata.readable)
        return {source + QStringLiteral(" 无法读取")};
    // A value the base gives only as a resource reference is not compared.
    const auto compare = [&](const QString &what, const QString &said, const QString &truth) {
        if (!said.isEmpty() && !truth.isEmpty() && said != truth)
            notes.append(
                QStringLiteral("%1 的%2“%3”与基础 APK 的“%4”不同").arg(source, what, said, truth));
    };
    compare(QStringLiteral("包名"), metadata.packageName, base.packageName);
    compare(QStringLiteral("版本代码"), metadata.versionCode, base.versionCode);
    compare(QStringLiteral("版本号"), metadata.versionName, base.versionName);
    if (!metadata.baseEntry.isEmpty() && metadata.baseEntry != baseEntry)
        notes.append(QStringLiteral("%1 指定的基础 APK“%2”不是基础 APK，实为“%3”")
                         .arg(source, FromNarrow(metadata.baseEntry), FromNarrow(baseEntry)));
    return notes;
}
