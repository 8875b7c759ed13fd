#pragma once

#include "BundleLayout.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class ZipArchive;
struct ApkManifest;

// What a container's own description (toc.pb, manifest.json, info.json, meta.sai_v*.json) says
// about the app. It only helps to find the base: the base's manifest is the truth.
struct ContainerMetadata
{
    QByteArray source; // the entry it was read from; empty when there is none
    bool readable = false;
    QString packageName; // each empty when the description does not say
    QString versionCode;
    QString versionName;
    QByteArray baseEntry; // the APK it names as the base
};

ContainerMetadata ReadContainerMetadata(const ZipArchive &archive, const BundleLayout &layout);

// Where the description and the base's own manifest differ, one sentence each, for people.
QStringList MetadataDisagreements(const ContainerMetadata &metadata, const ApkManifest &base,
                                  const QByteArray &baseEntry);
