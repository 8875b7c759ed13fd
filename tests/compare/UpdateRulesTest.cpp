// Android's rules for an update, applied to facts made here rather than read from packages, so
// that each rule is seen on its own: what keeps an update out, and what only differs.
#include "compare/UpdateCheck.h"

#include <QtTest>

namespace {

const QString OldKey = QStringLiteral("aa11");
const QString NewKey = QStringLiteral("bb22");

// A package read whole, signed with v2 by one signer.
struct Package
{
    QString name = QStringLiteral("org.example.app");
    qint64 versionCode = 1;
    qint64 versionCodeByName = 1; // what Android reads before it parses the package
    QString signer = OldKey;
    QStringList formerSigners = {};
    QList<quint32> formerCapabilities = {};
    bool signedAtAll = true;
    QString sharedUserId = {};
    QStringList permissions = {};
    QStringList abis = {};
    // Its 64-bit libraries: ready for 16 KB pages or not; nothing when they do not read.
    std::optional<QList<PageReadiness>> libraries = QList<PageReadiness>{PageReadiness::Ready};
    bool unreadable = false;

    ComparedPackage compared() const
    {
        ComparedPackage package;
        package.path = "app.apk";
        if (unreadable)
            package.unreadable = QStringLiteral("apk类型已经损坏");
        PackageDetails &details = package.details;
        details.fileChanged = false;
        details.facts.packageName = name;
        details.facts.versionCode = QString::number(versionCode);
        details.facts.permissionNames = permissions;
        details.facts.nativePlatforms = abis;
        ApkManifest manifest;
        manifest.packageName = name;
        manifest.sharedUserId = sharedUserId;
        manifest.updateCheckVersionCode = versionCodeByName;
        details.manifest = manifest;
        details.parsedVersionCode = versionCode;
        if (libraries) {
            details.nativeLibraries.emplace();
            for (const PageReadiness readiness : *libraries)
                details.nativeLibraries->append({"arm64-v8a", "lib/arm64-v8a/libapp.so", 4096, true,
                                                 0, false, false, readiness});
        }
        if (signedAtAll) {
            details.signatures.v2 = SchemeResult::verified();
            SignerFacts facts;
            facts.certificate.parsed = true;
            facts.certificate.sha256 = signer;
            facts.formerSha256 = formerSigners;
            facts.formerCapabilities = formerCapabilities;
            details.signatures.signers = {facts};
        }
        return package;
    }
};

} // namespace

Q_DECLARE_METATYPE(Package)

namespace {

QStringList ReasonCodes(const UpdateComparison &comparison)
{
    QStringList codes;
    for (const UpdateReason &reason : comparison.reasons)
        codes.append(reason.code);
    return codes;
}

} // namespace

class UpdateRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void reasons_data();
    void reasons();
    void changes_data();
    void changes();
};

void UpdateRulesTest::reasons_data()
{
    QTest::addColumn<Package>("before");
    QTest::addColumn<Package>("after");
    QTest::addColumn<QStringList>("expected");
    Package base;
    Package newer = base;
    newer.versionCode = 2;
    newer.versionCodeByName = 2;
    QTest::newRow("a newer version by the same signer") << base << newer << QStringList{};
    QTest::newRow("the same version again") << base << base << QStringList{};

    Package renamed = newer;
    renamed.name = QStringLiteral("org.example.other");
    QTest::newRow("another package")
        << base << renamed << QStringList{QStringLiteral("packageDiffers")};
    QTest::newRow("an older version")
        << newer << base << QStringList{QStringLiteral("versionDowngrade")};
    Package olderByName = newer;
    olderByName.versionCodeByName = 0;
    QTest::newRow("older as read before parsing")
        << base << olderByName << QStringList{QStringLiteral("versionDowngrade")};

    Package otherSigner = newer;
    otherSigner.signer = NewKey;
    QTest::newRow("another signer")
        << base << otherSigner << QStringList{QStringLiteral("signerDiffers")};
    Package rotated = otherSigner;
    rotated.formerSigners = {OldKey};
    rotated.formerCapabilities = {InstalledDataCapability};
    QTest::newRow("rotated, the old signer granting its data") << base << rotated << QStringList{};
    Package rotatedWithheld = rotated;
    rotatedWithheld.formerCapabilities = {0};
    QTest::newRow("rotated, the old signer withholding its data")
        << base << rotatedWithheld << QStringList{QStringLiteral("rotationNotPermitted")};
    Package rolledBackFrom = base;
    rolledBackFrom.signer = NewKey;
    Package oldWithLineage = base;
    oldWithLineage.formerSigners = {NewKey};
    oldWithLineage.formerCapabilities = {RollbackCapability};
    Package rollback = newer;
    rollback.signer = NewKey;
    QTest::newRow("back to a signer the old lineage allows")
        << oldWithLineage << rollback << QStringList{};

    Package unsignedNew = newer;
    unsignedNew.signedAtAll = false;
    QTest::newRow("the new package unsigned")
        << base << unsignedNew << QStringList{QStringLiteral("signatureFailed")};

    Package joined = newer;
    joined.sharedUserId = QStringLiteral("org.example.shared");
    QTest::newRow("joining a shared user")
        << base << joined << QStringList{QStringLiteral("sharedUserChanged")};
    Package leftShared = joined;
    leftShared.versionCode = leftShared.versionCodeByName = 3;
    leftShared.sharedUserId.clear();
    QTest::newRow("leaving a shared user") << joined << leftShared << QStringList{};

    Package broken = newer;
    broken.unreadable = true;
    broken.name = QStringLiteral("org.example.other");
    QTest::newRow("an unreadable package is the only reason")
        << base << broken << QStringList{QStringLiteral("packageUnreadable")};
}

void UpdateRulesTest::reasons()
{
    QFETCH(Package, before);
    QFETCH(Package, after);
    QFETCH(QStringList, expected);
    const UpdateComparison comparison = CompareForUpdate(before.compared(), after.compared());
    QCOMPARE(ReasonCodes(comparison), expected);
    QCOMPARE(comparison.updatable(), expected.isEmpty());
}

void UpdateRulesTest::changes_data()
{
    QTest::addColumn<Package>("before");
    QTest::addColumn<Package>("after");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<bool>("abisChange");
    QTest::addColumn<bool>("pageSizeChanges");
    Package base;
    base.permissions = {QStringLiteral("android.permission.INTERNET"),
                        QStringLiteral("android.permission.CAMERA")};
    base.abis = {QStringLiteral("arm64-v8a"), QStringLiteral("x86_64")};
    QTest::newRow("nothing differs")
        << base << base << QStringList{} << QStringList{} << false << false;

    Package permissions = base;
    permissions.permissions = {QStringLiteral("android.permission.CAMERA"),
                               QStringLiteral("android.permission.RECORD_AUDIO")};
    QTest::newRow("a permission swapped for another")
        << base << permissions << QStringList{QStringLiteral("android.permission.RECORD_AUDIO")}
        << QStringList{QStringLiteral("android.permission.INTERNET")} << false << false;

    Package reordered = base;
    std::reverse(reordered.abis.begin(), reordered.abis.end());
    QTest::newRow("the same ABIs in another order")
        << base << reordered << QStringList{} << QStringList{} << false << false;
    Package fewer = base;
    fewer.abis.removeLast();
    QTest::newRow("an ABI dropped")
        << base << fewer << QStringList{} << QStringList{} << true << false;

    Package notReady = base;
    notReady.libraries = {{PageReadiness::NotReady}};
    QTest::newRow("a library no longer ready for 16 KB pages")
        << base << notReady << QStringList{} << QStringList{} << false << true;
    Package twoNotReady = base;
    twoNotReady.libraries = {{PageReadiness::NotReady, PageReadiness::Unreadable}};
    QTest::newRow("one more library not ready for 16 KB pages")
        << notReady << twoNotReady << QStringList{} << QStringList{} << false << true;
    Package unreadableLibraries = base;
    unreadableLibraries.libraries.reset();
    QTest::newRow("libraries that no longer read")
        << base << unreadableLibraries << QStringList{} << QStringList{} << false << true;
}

void UpdateRulesTest::changes()
{
    QFETCH(Package, before);
    QFETCH(Package, after);
    QFETCH(QStringList, added);
    QFETCH(QStringList, removed);
    QFETCH(bool, abisChange);
    QFETCH(bool, pageSizeChanges);
    const UpdateChanges changes = CompareFacts(before.compared().details, after.compared().details);
    QCOMPARE(changes.permissionsAdded, added);
    QCOMPARE(changes.permissionsRemoved, removed);
    QCOMPARE(changes.abis.has_value(), abisChange);
    QCOMPARE(changes.pageSize16k.has_value(), pageSizeChanges);
    // Each change is one line of the comparison, none worded twice.
    const qsizetype lines = added.size() + removed.size() + abisChange + pageSizeChanges;
    QCOMPARE(ChangeLines(changes).size(), lines);
}

QTEST_GUILESS_MAIN(UpdateRulesTest)
#include "UpdateRulesTest.moc"
