#include "signing/SigningBlock.h"

#include "HostilePackages.h"
#include "LittleEndian.h"
#include "SignedPackages.h"
#include "signing/ApiLevels.h"

#include <QTest>
#include <tuple>

// The APK Signing Block and its v2, v3 and v3.1 schemes: the block's format, the content
// digests, the signers and their agreement, key rotation, and the platforms each v3 signer
// covers, held against apksigner.

namespace {

enum class Change
{
    None,
    Realign,           // rewritten by zipalign, which drops the signing block
    StripV3,           // the v3 pair renamed a padding pair
    StripV31,          // a v3 signer saying a v3.1 block takes over at API 33, and none there
    V3ByAnotherKey,    // the v3 signer replaced by one of another key, with no lineage
    V2ByAnotherKey,    // the v2 signer replaced by one of another key than the JAR signer's
    V3SignerTwice,     // the v3 signer repeated, so two cover the same platform versions
    V31Alone,          // the v3 pair renamed a v3.1 pair
    V31WrongRotation,  // v3 says v3.1 takes over at 33; the v3.1 signer starts at 34
    V31DevRelease,     // a v3.1 signer for the development release after 33, beside v3 to 33
    DigestListedTwice, // the v2 signer lists its digest again, with other bytes
    LineageRepeats,    // a v3 lineage that names the signer's certificate twice
    V3Gap,             // v3 signers for 24–29 and for 31 and up
    V3Narrow,          // the one v3 signer for 30 and up
    VerityWrong,       // the v2 signer's verity digest wrong, its SHA-256 one right
    LineageTooLong,    // a lineage of MaxLineageNodes + 1 certificates
    TwoV3Signers,      // v3 signers: the old key for 24–32, the rotated one for 33 and up
};

constexpr qint32 Newest = ApiLevel::Newest;

// The length-prefixed field at `at`, moving `at` past it.
QByteArray TakePrefixed(const QByteArray &bytes, qsizetype &at)
{
    const quint32 size = Get<quint32>(bytes, at);
    at += 4 + size;
    return bytes.mid(at - size, size);
}

// A v2 or v3 value whose one signer vouches for the same content digests (and SDK range) as
// the first signer of `value`, but is signed by `key` with `certificate`, with `attributes`
// and no lineage: what an attacker with a key of their own makes.
QByteArray SignedByAnotherKey(bool v3, const QByteArray &value, const QString &key,
                              const QByteArray &certificate, const QByteArray &attributes = {})
{
    SignerParts parts = FirstSignerParts(value, v3);
    parts.attributes = attributes;
    return SchemeValue({CraftSigner(parts, key, certificate)});
}

QByteArray Attribute(quint32 id, const QByteArray &value)
{
    return LengthPrefixed(Bytes<quint32>(id) + value);
}

// A v3 value of signers made from `parts`, each with the key and certificate given beside it.
QByteArray V3Value(const QList<std::tuple<SignerParts, QString, QByteArray>> &signers)
{
    QList<QByteArray> crafted;
    for (const auto &[parts, key, certificate] : signers)
        crafted.append(CraftSigner(parts, key, certificate));
    return SchemeValue(crafted);
}

// `parts` for the platforms from `minSdk` through `maxSdk`, with `attributes`.
SignerParts ForPlatforms(SignerParts parts, qint32 minSdk, qint32 maxSdk,
                         const QByteArray &attributes = {})
{
    parts.minSdk = minSdk;
    parts.maxSdk = maxSdk;
    parts.attributes = attributes;
    return parts;
}

// Where Debian's apksigner cannot judge as Android does, apksig's own rule. It knows no v3.1
// (ApkVerifierTest: verifyV31_rotationTargetsDevRelease, verifyV31_strippingAttrMismatch), and
// it drops the v3 block's own findings on the platforms its signers cover, which later apksig
// reports (V3_MISSING_SDK_VERSIONS, V3_INCONSISTENT_SDK_VERSIONS).
Ruling AndroidRuling(Change change, const QString &)
{
    switch (change) {
    case Change::V31DevRelease:
        return {.android = true};
    case Change::V31WrongRotation:
    case Change::V3Gap:
    case Change::V3Narrow:
        return {.android = false};
    // Nor does it miss the v3.1 block the v3 signer names, which Android does.
    case Change::StripV31:
        return {.refusedHere = true};
    default:
        return {};
    }
}

} // namespace

class SigningBlockTest : public SignatureRulesTest
{
    Q_OBJECT

    void addKeys() override;
    void addRows() override;
    void checkRow() override;

    Alteration alteration(Change change) const;
    QByteArray withBlockChange(Change change, const QByteArray &bytes) const;
};

void SigningBlockTest::addKeys()
{
    // Over 3072 bits apksigner signs with SHA-512, and the content digest follows.
    QVERIFY(packages.addKey(QStringLiteral("rsa4096"),
                            {QStringLiteral("-newkey"), QStringLiteral("rsa:4096")}));
    QVERIFY(packages.addKey(QStringLiteral("ec"), {QStringLiteral("-newkey"), QStringLiteral("ec"),
                                                   QStringLiteral("-pkeyopt"),
                                                   QStringLiteral("ec_paramgen_curve:P-256")}));
}

QByteArray SigningBlockTest::withBlockChange(Change change, const QByteArray &bytes) const
{
    const KeyFacts rsa = packages.key(QStringLiteral("rsa"));
    const QByteArray rsaCertificate = CertificateDer(rsa.certificate);
    const KeyFacts next = packages.key(QStringLiteral("next"));
    const QByteArray nextCertificate = CertificateDer(next.certificate);
    switch (change) {
    case Change::StripV3:
        return WithBlockPairs(bytes, [](quint32 id, const QByteArray &value) {
            return BlockPair(id == V3PairId ? PaddingPairId : id, value);
        });
    case Change::V3ByAnotherKey:
    case Change::V2ByAnotherKey:
        return WithBlockPairs(bytes, [&](quint32 id, const QByteArray &value) {
            const bool v3 = change == Change::V3ByAnotherKey;
            return BlockPair(id, id == (v3 ? V3PairId : V2PairId)
                                     ? SignedByAnotherKey(v3, value, next.key, nextCertificate)
                                     : value);
        });
    case Change::StripV31:
        return WithBlockPairs(bytes, [&](quint32 id, const QByteArray &value) {
            return BlockPair(id, id == V3PairId
                                     ? SignedByAnotherKey(true, value, rsa.key, rsaCertificate,
                                                          Attribute(RotationMinSdkId, Bytes(33)))
                                     : value);
        });
    case Change::V3SignerTwice:
        return WithBlockPairs(bytes, [](quint32 id, const QByteArray &value) {
            qsizetype at = 0;
            const QByteArray signers = TakePrefixed(value, at);
            return BlockPair(id, id == V3PairId ? LengthPrefixed(signers + signers) : value);
        });
    case Change::V31Alone:
        return WithBlockPairs(bytes, [](quint32 id, const QByteArray &value) {
            return BlockPair(id == V3PairId ? V31SchemeId : id, value);
        });
    case Change::V31WrongRotation:
    case Change::V31DevRelease:
        return WithBlockPairs(bytes, [&](quint32 id, const QByteArray &value) {
            if (id != V3PairId)
                return BlockPair(id, value);
            const bool dev = change == Change::V31DevRelease;
            const SignerParts parts = FirstSignerParts(value, true);
            const QByteArray v3 = V3Value(
                {{ForPlatforms(parts, parts.minSdk, 33, Attribute(RotationMinSdkId, Bytes(33))),
                  rsa.key, rsaCertificate}});
            const QByteArray v31 =
                V3Value({{ForPlatforms(parts, dev ? 33 : 34, Newest,
                                       dev ? Attribute(DevReleaseId, {}) : QByteArray()),
                          rsa.key, rsaCertificate}});
            return BlockPair(V3PairId, v3) + BlockPair(V31SchemeId, v31);
        });
    case Change::DigestListedTwice:
    case Change::VerityWrong:
        return WithBlockPairs(bytes, [&](quint32 id, const QByteArray &value) {
            if (id != V2PairId)
                return BlockPair(id, value);
            SignerParts parts = FirstSignerParts(value, false);
            if (change == Change::VerityWrong) {
                // The verity digest comes last: a root of 32 bytes, then the length.
                parts.digests[parts.digests.size() - 9] ^= 1;
                parts.algorithms = {0x0103, 0x0421};
            } else {
                QByteArray again = parts.digests;
                again[again.size() - 1] ^= 1;
                parts.digests += again;
                parts.algorithms = {0x0103, 0x0103};
            }
            return BlockPair(id, SchemeValue({CraftSigner(parts, rsa.key, rsaCertificate)}));
        });
    case Change::LineageRepeats:
    case Change::LineageTooLong:
    case Change::V3Gap:
    case Change::V3Narrow:
    case Change::TwoV3Signers:
        return WithBlockPairs(bytes, [&](quint32 id, const QByteArray &value) {
            if (id != V3PairId)
                return BlockPair(id, value);
            const SignerParts parts = FirstSignerParts(value, true);
            const qsizetype nodes = change == Change::LineageTooLong ? MaxLineageNodes + 1 : 2;
            const QByteArray repeated =
                LineageAttribute(QList<QByteArray>(nodes, rsaCertificate), rsa.key);
            switch (change) {
            case Change::V3Gap:
                return BlockPair(
                    id, V3Value({{ForPlatforms(parts, 24, 29), rsa.key, rsaCertificate},
                                 {ForPlatforms(parts, 31, Newest), rsa.key, rsaCertificate}}));
            case Change::V3Narrow:
                return BlockPair(
                    id, V3Value({{ForPlatforms(parts, 30, Newest), rsa.key, rsaCertificate}}));
            case Change::TwoV3Signers:
                return BlockPair(
                    id, V3Value({{ForPlatforms(parts, 24, 32), rsa.key, rsaCertificate},
                                 {ForPlatforms(
                                      parts, 33, Newest,
                                      LineageAttribute({rsaCertificate, nextCertificate}, rsa.key)),
                                  next.key, nextCertificate}}));
            default:
                return BlockPair(
                    id, V3Value({{ForPlatforms(parts, parts.minSdk, parts.maxSdk, repeated),
                                  rsa.key, rsaCertificate}}));
            }
        });
    default:
        return bytes;
    }
}

Alteration SigningBlockTest::alteration(Change change) const
{
    switch (change) {
    case Change::None:
        return {};
    case Change::Realign:
        return {.afterSigning = [](const QString &path, const QByteArray &) {
            const QString aligned = path + QStringLiteral(".aligned");
            RunProgram(QStringLiteral(SYSTEM_ZIPALIGN),
                       {QStringLiteral("-f"), QStringLiteral("4"), path, aligned});
            return ReadFile(aligned);
        }};
    default:
        return AfterSigning(
            [this, change](const QByteArray &bytes) { return withBlockChange(change, bytes); });
    }
}

void SigningBlockTest::addRows()
{
    AddSignedPackageColumns<Change>();

    QTest::newRow("v2 only, EC key")
        << 24 << QStringLiteral("ec") << V2Only << Change::None << QByteArray()
        << QStringLiteral("v2") << QStringLiteral("通过") << QStringLiteral("EC 256 位");
    QTest::newRow("v1 v2 v3") << 0 << QStringLiteral("rsa") << QStringList() << Change::None
                              << QByteArray() << AllSchemes << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("v1 v2 v3, SHA-512")
        << 0 << QStringLiteral("rsa4096") << QStringList() << Change::None << QByteArray()
        << AllSchemes << QStringLiteral("通过") << QStringLiteral("RSA 4096 位");
    QTest::newRow("v3 with a rotated key")
        << 0 << QStringLiteral("next") << QStringList() << Change::None << QByteArray()
        << AllSchemes << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("v2 block stripped")
        << 0 << QStringLiteral("rsa") << V1V2 << Change::Realign << QByteArray()
        << QStringLiteral("v1 (JAR)") << Failed + QStringLiteral("v2/v3 签名已被剥离") << Rsa2048;

    QTest::newRow("v3 stripped") << 24 << QStringLiteral("rsa") << V2V3 << Change::StripV3
                                 << QByteArray() << QStringLiteral("v2")
                                 << Failed + QStringLiteral("v3 签名已被剥离") << Rsa2048;
    QTest::newRow("v3.1 stripped")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::StripV31 << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("v3 签名已被剥离") << Rsa2048;
    QTest::newRow("v3 signed by another key")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::V3ByAnotherKey << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("各方案签名者不一致") << Rsa2048;
    QTest::newRow("v2 signed by another key than v1")
        << 0 << QStringLiteral("rsa") << V1V2 << Change::V2ByAnotherKey << QByteArray()
        << QStringLiteral("v1 (JAR), v2") << Failed + QStringLiteral("各方案签名者不一致")
        << Rsa2048;
    QTest::newRow("v3 signers overlap")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::V3SignerTwice << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("v3 签名者平台版本重叠") << Rsa2048;

    const QByteArray someValue = Bytes<quint32>(0x7109871a) + QByteArray(8, 'x');
    QTest::newRow("pair length past the end")
        << 0 << QString() << QStringList() << Change::None
        << Block(Bytes<quint64>(1000) + someValue) << QStringLiteral("无")
        << Failed + QStringLiteral("签名块格式错误") << QString();
    QTest::newRow("pair length over 32 bits")
        << 0 << QString() << QStringList() << Change::None
        << Block(Bytes<quint64>(Q_UINT64_C(0x100000000) + 12) + someValue) << QStringLiteral("无")
        << Failed + QStringLiteral("签名块格式错误") << QString();
    QTest::newRow("zero-length pair")
        << 0 << QString() << QStringList() << Change::None << Block(Bytes<quint64>(0) + someValue)
        << QStringLiteral("无") << Failed + QStringLiteral("签名块格式错误") << QString();
    QTest::newRow("block sizes disagree")
        << 0 << QString() << QStringList() << Change::None
        << Block(BlockPair(0x7109871a, LengthPrefixed({})), 8) << QStringLiteral("无")
        << Failed + QStringLiteral("签名块大小不一致") << QString();
    QTest::newRow("signer list past the end")
        << 0 << QString() << QStringList() << Change::None
        << Block(BlockPair(0x7109871a, Bytes<quint32>(0xfffffff0))) << QStringLiteral("v2")
        << Failed + QStringLiteral("v2 签名数据格式错误") << QString();
    QTest::newRow("two million signers")
        << 0 << QString() << QStringList() << Change::None
        << V2Block(LengthPrefixed({}).repeated(2'000'000)) << QStringLiteral("v2")
        << Failed + QStringLiteral("v2 签名者过多") << QString();

    // v3.1, digests and lineages, and the platforms from the package's minimum through the
    // newest that v3's signers cover.
    const QStringList verity = V2V3 + QStringList{QStringLiteral("--verity-enabled")};
    QTest::newRow("v3.1 block alone")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::V31Alone << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("v3 签名已被剥离") << Rsa2048;
    QTest::newRow("v3.1 takeover named wrong")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::V31WrongRotation << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("v3 签名者所记的 v3.1 起始版本不符")
        << Rsa2048;
    QTest::newRow("v3.1 signer for a development release")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::V31DevRelease << QByteArray()
        << QStringLiteral("v2, v3") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("v2 digest listed twice")
        << 24 << QStringLiteral("rsa") << V2Only << Change::DigestListedTwice << QByteArray()
        << QStringLiteral("v2") << Failed + QStringLiteral("v2 内容摘要不符") << Rsa2048;
    QTest::newRow("lineage naming a certificate twice")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::LineageRepeats << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("v3 密钥轮换记录中有重复的证书")
        << Rsa2048;
    QTest::newRow("v3 signers leave a gap")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::V3Gap << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("v3 签名者未覆盖 API 30") << Rsa2048;
    QTest::newRow("v3 signer from API 30 only")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::V3Narrow << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("v3 签名者未覆盖 API 28–29")
        << Rsa2048;
    QTest::newRow("verity algorithms")
        << 24 << QStringLiteral("rsa") << verity << Change::None << QByteArray()
        << QStringLiteral("v2, v3") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("verity digest wrong")
        << 24 << QStringLiteral("rsa") << verity << Change::VerityWrong << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("v2 内容摘要不符") << Rsa2048;
    QTest::newRow("v3 signers for 24–32 and 33 and up")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::TwoV3Signers << QByteArray()
        << QStringLiteral("v2, v3") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("lineage past the cap")
        << 24 << QStringLiteral("rsa") << V2V3 << Change::LineageTooLong << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("v3 密钥轮换记录超过上限")
        << Rsa2048;
}

void SigningBlockTest::checkRow()
{
    MatchesApksigner<Change>(
        packages, [this](Change change) { return alteration(change); }, AndroidRuling);
}

QTEST_GUILESS_MAIN(SigningBlockTest)
#include "SigningBlockTest.moc"
