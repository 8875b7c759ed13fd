#include "SignerConsistency.h"

#include <QSet>
#include <algorithm>

namespace {

constexpr quint32 V3SchemeNumber = 3;

QSet<QByteArray> FirstCertificates(const QList<SchemeSigner> &signers)
{
    QSet<QByteArray> certificates;
    for (const SchemeSigner &signer : signers)
        if (!signer.certificates.isEmpty())
            certificates.insert(signer.certificates.first());
    return certificates;
}

// Whether `signer` is `ancestor` or names it in its lineage, which was verified before.
bool DescendsFrom(const SchemeSigner &signer, const QByteArray &ancestor)
{
    if (!signer.certificates.isEmpty() && signer.certificates.first() == ancestor)
        return true;
    return std::any_of(
        signer.lineage.cbegin(), signer.lineage.cend(),
        [&ancestor](const LineageNode &node) { return node.certificate == ancestor; });
}

} // namespace

bool V3Stripped(const SigningBlock &block)
{
    return !block.v3.present && std::any_of(block.v2.signers.cbegin(), block.v2.signers.cend(),
                                            [](const SchemeSigner &signer) {
                                                return signer.requiredScheme == V3SchemeNumber;
                                            });
}

bool V31Stripped(const SigningBlock &block)
{
    return !block.v31Present && std::any_of(block.v3.signers.cbegin(), block.v3.signers.cend(),
                                            [](const SchemeSigner &signer) {
                                                return signer.rotationMinSdk.has_value();
                                            });
}

bool V3RangesDisjoint(const QList<SchemeSigner> &signers)
{
    QList<std::pair<quint32, quint32>> ranges;
    for (const SchemeSigner &signer : signers) {
        if (signer.minSdk > signer.maxSdk)
            return false;
        ranges.append({signer.minSdk, signer.maxSdk});
    }
    std::sort(ranges.begin(), ranges.end());
    for (qsizetype i = 1; i < ranges.size(); ++i)
        if (ranges[i].first <= ranges[i - 1].second)
            return false;
    return true;
}

bool SignersAgree(const QList<QByteArray> &jarCertificates, const SigningBlock &block)
{
    const QSet<QByteArray> jar(jarCertificates.cbegin(), jarCertificates.cend());
    const QSet<QByteArray> v2 = FirstCertificates(block.v2.signers);
    if (!jar.isEmpty() && block.v2.present && jar != v2)
        return false;
    if (!block.v3.present)
        return true;
    const QSet<QByteArray> &older = block.v2.present ? v2 : jar;
    if (older.isEmpty())
        return true;
    if (older.size() != 1)
        return false;
    const QByteArray &ancestor = *older.cbegin();
    return std::all_of(
        block.v3.signers.cbegin(), block.v3.signers.cend(),
        [&ancestor](const SchemeSigner &signer) { return DescendsFrom(signer, ancestor); });
}
