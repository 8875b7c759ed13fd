#include "SignerConsistency.h"

#include "ApiLevels.h"

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

Failure Uncovered(qint64 from, qint64 to)
{
    if (to >= ApiLevel::Newest)
        return {FailureCode::SignersUncoveredFrom, {QString::number(from)}};
    if (to == from)
        return {FailureCode::SignersUncoveredLevel, {QString::number(from)}};
    return {FailureCode::SignersUncoveredRange, {QString::number(from), QString::number(to)}};
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
    return !block.v31.present && std::any_of(block.v3.signers.cbegin(), block.v3.signers.cend(),
                                             [](const SchemeSigner &signer) {
                                                 return signer.rotationMinSdk.has_value();
                                             });
}

bool RotationMinSdkDisagrees(const SigningBlock &block)
{
    if (block.v31.signers.isEmpty())
        return false;
    const auto lowest = std::min_element(
        block.v31.signers.cbegin(), block.v31.signers.cend(),
        [](const SchemeSigner &a, const SchemeSigner &b) { return a.minSdk < b.minSdk; });
    return std::any_of(block.v3.signers.cbegin(), block.v3.signers.cend(),
                       [lowest](const SchemeSigner &signer) {
                           return signer.rotationMinSdk && *signer.rotationMinSdk != lowest->minSdk;
                       });
}

std::optional<Failure> CoverageProblem(const QList<SchemeSigner> &signers, int lowest, int highest)
{
    QList<const SchemeSigner *> sorted;
    for (const SchemeSigner &signer : signers)
        sorted.append(&signer);
    std::sort(sorted.begin(), sorted.end(), [](const SchemeSigner *a, const SchemeSigner *b) {
        return std::pair(a->minSdk, a->maxSdk) < std::pair(b->minSdk, b->maxSdk);
    });
    if (sorted.isEmpty() || sorted.first()->minSdk > lowest)
        return Uncovered(lowest, sorted.isEmpty() ? highest : sorted.first()->minSdk - 1);
    qint64 covered = sorted.first()->maxSdk;
    for (const SchemeSigner *signer : std::as_const(sorted).sliced(1)) {
        const bool sharesFirstLevel = signer->minSdk == covered && signer->targetsDevRelease;
        if (signer->minSdk <= covered && !sharesFirstLevel)
            return Failure{FailureCode::SignerRangesOverlap};
        if (signer->minSdk > covered + 1)
            return Uncovered(covered + 1, signer->minSdk - 1);
        covered = std::max<qint64>(covered, signer->maxSdk);
    }
    if (covered < highest)
        return Uncovered(covered + 1, highest);
    return std::nullopt;
}

bool SignersAgree(const QList<QByteArray> &jarCertificates, const SigningBlock &block,
                  bool v2Decides)
{
    const QSet<QByteArray> jar(jarCertificates.cbegin(), jarCertificates.cend());
    const QSet<QByteArray> v2 =
        v2Decides ? FirstCertificates(block.v2.signers) : QSet<QByteArray>();
    if (!jar.isEmpty() && !v2.isEmpty() && jar != v2)
        return false;
    const QSet<QByteArray> &older = v2.isEmpty() ? jar : v2;
    if (older.isEmpty())
        return true;
    const QList<SchemeSigner> v3 = block.v3.signers + block.v31.signers;
    if (v3.isEmpty())
        return true;
    if (older.size() != 1)
        return false;
    const QByteArray &ancestor = *older.cbegin();
    return std::all_of(v3.cbegin(), v3.cend(), [&ancestor](const SchemeSigner &signer) {
        return DescendsFrom(signer, ancestor);
    });
}
