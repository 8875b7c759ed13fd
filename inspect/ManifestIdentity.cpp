#include "ManifestIdentity.h"

#include "ToolComplaints.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"
#include "formats/ApkManifest.h"
#include "formats/ResourceResolver.h"

#include <QStringList>
#include <algorithm>

namespace {

const QByteArray TableRefused = "ERROR: dump failed because the resource table is invalid/corrupt.";

// Every complaint is the refused table, and the tool named no package.
bool RefusedOnlyForTable(const QByteArray &output)
{
    if (output.contains("package: name="))
        return false;
    const QList<QByteArray> complaints = ToolComplaints(output);
    return !complaints.isEmpty() &&
           std::all_of(complaints.cbegin(), complaints.cend(),
                       [](const QByteArray &line) { return line.trimmed() == TableRefused; });
}

bool IsAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// As Android's package manager takes an app's name: two or more parts joined by dots, each a
// letter followed by letters, digits and underscores.
bool IsPackageName(const QString &name)
{
    const QStringList parts = name.split(u'.');
    if (parts.size() < 2)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || !IsAsciiLetter(part.front()))
            return false;
        for (const QChar c : part)
            if (!IsAsciiLetter(c) && !(c >= u'0' && c <= u'9') && c != u'_')
                return false;
    }
    return true;
}

} // namespace

bool IdentityFromManifest(const SafeFile &apk, const std::shared_ptr<InflateBudget> &budget,
                          const QByteArray &toolOutput, const std::function<bool()> &verifiesInFull,
                          BadgingInfo &info)
{
    if (!RefusedOnlyForTable(toolOutput))
        return false;
    const ZipArchive archive(apk, budget);
    const std::optional<ApkManifest> manifest = ReadApkManifest(archive);
    if (!manifest || !IsPackageName(manifest->packageName))
        return false;
    const std::unique_ptr<const ResourceTable> table = OpenResourceTable(archive);
    if (!table || !verifiesInFull())
        return false;
    QString versionName = manifest->versionName;
    if (versionName.isEmpty() && manifest->versionNameResource)
        versionName = ResourceResolver(*table).text(manifest->versionNameResource).text;
    info = {manifest->packageName.toUtf8(), versionName.toUtf8(), {}};
    return true;
}
