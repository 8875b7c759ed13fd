#include "ManifestIdentity.h"

#include "archive/ZipArchive.h"
#include "bundle/ApkManifest.h"
#include "details/ResourceResolver.h"
#include "digest/SafeFile.h"
#include "signing/VerifyPackageSignatures.h"

#include <QRegularExpression>

namespace {

const QByteArray TableRefused = "ERROR: dump failed because the resource table is invalid/corrupt.";

// Every complaint is the refused table, and the tool named no package.
bool RefusedOnlyForTable(const QByteArray &output)
{
    if (output.contains("package: name=") || !output.contains(TableRefused))
        return false;
    for (const QByteArray &line : output.split('\n'))
        if (line.contains("ERROR") && line.trimmed() != TableRefused)
            return false;
    return true;
}

// As Android's package manager takes an app's name: two or more parts joined by dots, each a
// letter followed by letters, digits and underscores.
bool IsPackageName(const QString &name)
{
    static const QRegularExpression Name(
        QStringLiteral("^[A-Za-z][A-Za-z0-9_]*(\\.[A-Za-z][A-Za-z0-9_]*)+$"));
    return Name.match(name).hasMatch();
}

} // namespace

bool IdentityFromManifest(const QByteArray &apkPath, const QByteArray &toolOutput,
                          BadgingInfo &info)
{
    if (!RefusedOnlyForTable(toolOutput))
        return false;
    const SafeFile file(apkPath);
    const ZipArchive archive(file);
    const std::optional<ApkManifest> manifest = ReadApkManifest(archive);
    if (!manifest || !IsPackageName(manifest->packageName))
        return false;
    const std::unique_ptr<const ResourceTable> table = OpenResourceTable(archive);
    if (!table || VerifyPackageSignatures(file, archive).verdict() != SignatureVerdict::Verified)
        return false;
    QString versionName = manifest->versionName;
    if (versionName.isEmpty() && manifest->versionNameResource)
        versionName = ResourceResolver(*table).text(manifest->versionNameResource).text;
    info = {manifest->packageName.toUtf8(), versionName.toUtf8(), {}};
    return true;
}
