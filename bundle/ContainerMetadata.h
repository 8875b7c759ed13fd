#pragma once

#include "BundleLayout.h"
#include "base/Failure.h"

#include <QByteArray>
#include <QList>
#include <QString>

class ZipArchive;
struct ApkManifest;

// What a container's own description (toc.pb, manifest.json, info.json, meta.sai_v*.json) says
// about the app. It only helps to find the base: the base's manifest is the truth.
struct ContainerMetadata
{
    QByteArray source; // the entry it was read from; empty when there is none
    bool readable = false;
    // Larger than a description may be, or holding more items (DescriptionLimits.h): the bundle
    // is refused as damaged.
    bool overLimit = false;
    QString packageName; // each empty when the description does not say
    QString versionCode;
    QString versionName;
    QByteArray baseEntry; // the APK it names as the base
};

ContainerMetadata ReadContainerMetadata(const ZipArchive &archive, const BundleLayout &layout);
// The description `bytes` of a bundle of `kind`, as read from its entry.
ContainerMetadata ReadContainerDescription(const QByteArray &bytes, BundleKind kind);

// Where the description and the base's own manifest differ, one failure each; a description
// that is past its limits or does not read is one failure alone.
QList<Failure> MetadataDisagreements(const ContainerMetadata &metadata, const ApkManifest &base,
                                     const QByteArray &baseEntry);
