#include "ManifestXml.h"
#include "SignedPackages.h"
#include "formats/ApkManifest.h"

#include <QTest>

// The schemes a package's manifest makes necessary: JAR signing below Android 7.0, v2 or v3 for
// targetSdkVersion 30 and targetSandboxVersion 2, with the manifest read by resource id as
// Android's parser and apksig read it; held against apksigner.

namespace {

enum class Change
{
    None,
    TargetSandbox2,     // android:targetSandboxVersion="2" in the manifest
    TargetSdk30,        // <uses-sdk android:targetSdkVersion="30"/>
    MinSdkWrongId,      // minSdkVersion's name right, its resource id none of Android's
    MinSdkReference,    // <uses-sdk android:minSdkVersion="@integer/level"/>, the level 24
    TargetSdkReference, // <uses-sdk android:targetSdkVersion="@integer/level"/>, the level 30
    SandboxReference,   // android:targetSandboxVersion="@integer/level", the level 2
    ManifestPastCap,    // no <uses-sdk>; MaxManifestBytes of padding in the manifest
    ManifestNotXml,     // AndroidManifest.xml replaced by bytes that are no binary XML
};

// What a package built for `change` holds beyond the usual.
Alteration ManifestAlteration(Change change)
{
    PackageContents contents;
    const auto level = [&contents](int value) {
        contents.resources = {{QStringLiteral("values/levels.xml"),
                               "<resources><integer name='level'>" + QByteArray::number(value) +
                                   "</integer></resources>"}};
    };
    switch (change) {
    case Change::TargetSandbox2:
        contents.manifestAttributes = QStringLiteral("android:targetSandboxVersion=\"2\"");
        break;
    case Change::TargetSdk30:
        contents.manifestElements = QStringLiteral("<uses-sdk android:targetSdkVersion=\"30\"/>");
        break;
    case Change::MinSdkWrongId:
        contents.rewriteManifest = [](const QByteArray &xml) {
            return WithAttributeId(xml, QStringLiteral("minSdkVersion"), UnknownAttributeId);
        };
        break;
    case Change::MinSdkReference:
        level(24);
        contents.manifestElements =
            QStringLiteral("<uses-sdk android:minSdkVersion=\"@integer/level\"/>");
        break;
    case Change::TargetSdkReference:
        level(30);
        contents.manifestElements =
            QStringLiteral("<uses-sdk android:targetSdkVersion=\"@integer/level\"/>");
        break;
    case Change::SandboxReference:
        level(2);
        contents.manifestAttributes =
            QStringLiteral("android:targetSandboxVersion=\"@integer/level\"");
        break;
    case Change::ManifestPastCap:
        contents.rewriteManifest = [](const QByteArray &xml) {
            return WithPadding(xml, MaxManifestBytes);
        };
        break;
    case Change::ManifestNotXml:
        contents.rewriteManifest = [](const QByteArray &) {
            return QByteArray("<manifest package=\"org.pelmora.signed\"/>");
        };
        break;
    default:
        break;
    }
    return {.contents = contents};
}

// Where apksig reads the manifest otherwise than Android, Android's rule: apksig takes no
// target level that refers to a resource, which Android resolves, to a level that needs v2 or
// v3.
Ruling AndroidRuling(Change change, const QString &)
{
    if (change == Change::TargetSdkReference || change == Change::SandboxReference)
        return {.android = false};
    return {};
}

} // namespace

class RequiredSchemesTest : public SignatureRulesTest
{
    Q_OBJECT

    void addRows() override;
    void checkRow() override;
};

void RequiredSchemesTest::addRows()
{
    AddSignedPackageColumns<Change>();

    // What the platforms from the package's minimum through the newest need.
    QTest::newRow("v2 only, minimum SDK 21")
        << 21 << QStringLiteral("rsa") << V2Only << Change::None << QByteArray()
        << QStringLiteral("v2") << Failed + QStringLiteral("Android 7.0 以下需要 v1 (JAR) 签名")
        << Rsa2048;
    QTest::newRow("v1 only, targetSandboxVersion 2")
        << 0 << QStringLiteral("rsa") << V1Only << Change::TargetSandbox2 << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("targetSandboxVersion 2 需要 v2 或 v3 签名") << Rsa2048;
    QTest::newRow("v1 only, targetSdkVersion 30")
        << 0 << QStringLiteral("rsa") << V1Only << Change::TargetSdk30 << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("targetSdkVersion 30 需要 v2 或 v3 签名") << Rsa2048;
    // The manifest read by resource id, as Android's parser and apksig read it; a minimum that
    // cannot be told fails the verdict, and apksigner refuses to judge it. apksigner signs those
    // only for a minimum it is told: the lowest, so that every platform takes the signatures.
    const QStringList fromLevel1 = {QStringLiteral("--min-sdk-version"), QStringLiteral("1")};
    QTest::newRow("minSdkVersion with a wrong resource id, v2 and v3")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::MinSdkWrongId << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("Android 7.0 以下需要 v1 (JAR) 签名")
        << Rsa2048;
    QTest::newRow("minSdkVersion a resource reference")
        << 0 << QStringLiteral("rsa") << fromLevel1 << Change::MinSdkReference << QByteArray()
        << AllSchemes << Failed + QStringLiteral("minSdkVersion 无法确定") << Rsa2048;
    QTest::newRow("v1 only, targetSdkVersion a resource reference")
        << 0 << QStringLiteral("rsa") << V1Only << Change::TargetSdkReference << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("targetSdkVersion 无法确定，需要 v2 或 v3 签名") << Rsa2048;
    QTest::newRow("v1 only, targetSandboxVersion a resource reference")
        << 0 << QStringLiteral("rsa") << V1Only << Change::SandboxReference << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("targetSandboxVersion 无法确定，需要 v2 或 v3 签名") << Rsa2048;
    QTest::newRow("manifest past the cap, no uses-sdk, v2 and v3")
        << 0 << QStringLiteral("rsa") << V2V3 << Change::ManifestPastCap << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("AndroidManifest.xml 超过大小上限")
        << Rsa2048;
    QTest::newRow("manifest that is no binary XML")
        << 0 << QStringLiteral("rsa") << fromLevel1 << Change::ManifestNotXml << QByteArray()
        << AllSchemes << Failed + QStringLiteral("AndroidManifest.xml 格式错误") << Rsa2048;
}

void RequiredSchemesTest::checkRow()
{
    MatchesApksigner<Change>(packages, ManifestAlteration, AndroidRuling);
}

QTEST_GUILESS_MAIN(RequiredSchemesTest)
#include "RequiredSchemesTest.moc"
