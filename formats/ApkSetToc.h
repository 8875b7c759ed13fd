#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// What bundletool's APK set index (toc.pb) says of the app.
struct ApkSetToc
{
    QString packageName;
    QByteArray baseEntry; // the base module's master split
};

// Parses toc.pb with libprotobuf; nothing when it does not parse. The caller bounds the bytes
// and the messages they hold first (DescriptionLimits.h).
std::optional<ApkSetToc> ParseApkSetToc(const QByteArray &bytes);
