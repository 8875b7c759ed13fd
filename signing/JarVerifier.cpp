#include "JarVerifier.h"

#include "ApiLevels.h"
#include "CertificateFacts.h"
#include "JarManifest.h"
#include "JarSignatureBlock.h"
#include "SigningBlock.h"
#include "archive/EntryReading.h"
#include "archive/ZipArchive.h"

#include <QSet>
#include <algorithm>
#include <map>
#include <vector>

namespace {

const QByteArray ManifestName("META-INF/MANIFEST.MF");
const QByteArray MetaInf("META-INF/");
constexpr qint64 MaxSignatureBlockSize = 4 << 20;

struct JarSigner
{
    QByteArray signatureFileName;
    QByteArray blockName;
    QByteArray signatureFile;
    QByteArray certificate;
    QSet<QByteArray> named; // the entries its signature file names
};

// Each signature block in META-INF/ with a signature file of its name ending in .SF beside it,
// in the central directory's order. Android compares these names with their case.
QList<JarSigner> FindSigners(const QList<QByteArray> &names)
{
    const QSet<QByteArray> all(names.begin(), names.end());
    QList<JarSigner> signers;
    for (const QByteArray &name : names) {
        if (!name.startsWith(MetaInf) ||
            !(name.endsWith(".RSA") || name.endsWith(".DSA") || name.endsWith(".EC")))
            continue;
        const QByteArray signatureFile = name.first(name.lastIndexOf('.')) + ".SF";
        if (all.contains(signatureFile))
            signers.append({signatureFile, name, {}, {}, {}});
    }
    return signers;
}

QString EntryText(const QByteArray &name)
{
    return QString::fromUtf8(name);
}

// The digests of the manifest and of its sections, each computed once: signature files may
// name one large section many times, and every signer digests the whole manifest.
class ManifestDigests
{
public:
    explicit ManifestDigests(const JarManifest &manifest) : manifest(manifest) {}

    // Whether every digest matches `bytes`, a part of the manifest; at least one must be given.
    bool match(QByteArrayView bytes, const QList<JarDigest> &digests)
    {
        if (digests.isEmpty())
            return false;
        for (const JarDigest &digest : digests) {
            const auto key = std::make_tuple(bytes.data() - manifest.bytes().constData(),
                                             bytes.size(), int(digest.algorithm));
            auto found = known.find(key);
            if (found == known.end())
                found = known.emplace(key, DigestOf(digest.algorithm, bytes)).first;
            if (found->second != digest.expected)
                return false;
        }
        return true;
    }

private:
    const JarManifest &manifest;
    std::map<std::tuple<qsizetype, qsizetype, int>, QByteArray> known;
};

// Whether the signer says it also signed with a scheme that the range knows and the package
// lacks: Android then refuses it as stripped.
bool StrippedOfScheme(const JarManifest &signature, bool v2Present, bool v3Present, int maxSdk)
{
    const std::optional<QByteArray> ids = signature.value(signature.main(), "X-Android-APK-Signed");
    if (!ids || maxSdk < ApiLevel::Nougat)
        return false;
    for (const QByteArray &id : ids->split(',')) {
        bool number = false;
        const int scheme = id.trimmed().toInt(&number);
        if (number &&
            ((scheme == 2 && !v2Present) || (scheme == 3 && maxSdk >= ApiLevel::Pie && !v3Present)))
            return true;
    }
    return false;
}

enum class FileOutcome
{
    Used,
    Ignored, // Android passes over such a signature file, and its signer with it
    Failed
};

class JarCheck
{
public:
    JarCheck(const ZipArchive &archive, int minSdk, int maxSdk)
        : archive(archive), minSdk(minSdk), maxSdk(maxSdk)
    {
    }

    SchemeResult failure;

    // The entry's bytes, refused past `cap` before a byte is inflated.
    std::optional<QByteArray> read(const QByteArray &name, qint64 cap)
    {
        if (archive.entrySize(name).value_or(0) > cap)
            return fail({FailureCode::JarEntryTooLarge, {EntryText(name)}});
        const auto bytes = archive.readEntry(name, cap);
        if (!bytes)
            return fail({FailureCode::JarEntryUnreadable, {EntryText(name)}});
        return bytes;
    }

    // The digests `suffix` names in `section`; nothing (a failure) when Android would throw or
    // a limit is reached.
    std::optional<QList<JarDigest>> digests(const JarManifest &file, const QByteArray &fileName,
                                            const JarManifest::Section &section,
                                            QByteArrayView suffix)
    {
        const JarDigests found = DigestsToCheck(file, section, suffix, minSdk, maxSdk);
        if (found.malformed)
            return fail({FailureCode::JarDigestNotBase64, {EntryText(fileName)}});
        if (found.overLimit)
            return fail({FailureCode::JarDigestAlgorithmsOverLimit, {EntryText(fileName)}});
        return found.digests;
    }

    FileOutcome checkSignatureFile(JarSigner &signer, const JarManifest &manifest,
                                   const QHash<QByteArray, qsizetype> &sectionByName,
                                   ManifestDigests &manifestDigests, bool v2Present, bool v3Present)
    {
        const JarManifest signature(signer.signatureFile);
        const QString fileName = EntryText(signer.signatureFileName);
        if (signature.overLimit()) {
            fail({FailureCode::JarSectionsOverLimit, {fileName}});
            return FileOutcome::Failed;
        }
        const JarManifest::Section &main = signature.main();
        if (!signature.value(main, "Signature-Version"))
            return FileOutcome::Ignored;
        if (StrippedOfScheme(signature, v2Present, v3Present, maxSdk)) {
            failure = SchemeResult::failed({FailureCode::V2V3Stripped});
            return FileOutcome::Failed;
        }
        // Files signed by Netscape's signtool name the manifest's digest without "-Manifest".
        const bool signtool =
            signature.value(main, "Created-By").value_or(QByteArray()).contains("signtool");
        const auto whole = digests(signature, signer.signatureFileName, main,
                                   signtool ? "-Digest" : "-Digest-Manifest");
        if (!whole)
            return FileOutcome::Failed;
        const bool manifestVouched = manifestDigests.match(manifest.bytes(), *whole);
        if (!signtool) {
            const auto mainDigests = digests(signature, signer.signatureFileName, main,
                                             "-Digest-Manifest-Main-Attributes");
            if (!mainDigests)
                return FileOutcome::Failed;
            if (!mainDigests->isEmpty() &&
                !manifestDigests.match(manifest.raw(manifest.main()), *mainDigests)) {
                fail({FailureCode::JarMainAttributesMismatch, {fileName}});
                return FileOutcome::Failed;
            }
        }

        bool ignored = false;
        std::optional<Failure> mismatch;
        for (const JarManifest::Section &section : signature.sections()) {
            const std::optional<QByteArray> name = signature.name(section);
            if (!name || signer.named.contains(*name))
                return FileOutcome::Ignored;
            signer.named.insert(*name);
            if (manifestVouched)
                continue;
            const auto found = sectionByName.constFind(*name);
            if (found == sectionByName.cend()) {
                ignored = true;
                continue;
            }
            const auto expected = digests(signature, signer.signatureFileName, section, "-Digest");
            if (!expected)
                return FileOutcome::Failed;
            QByteArrayView covered = manifest.raw(manifest.sections()[*found]);
            if (signtool && covered.endsWith("\n\n"))
                covered.chop(1);
            if (!manifestDigests.match(covered, *expected) && !mismatch)
                mismatch = Failure{FailureCode::JarSignatureFileMismatch, {fileName}};
        }
        if (ignored)
            return FileOutcome::Ignored;
        if (mismatch) {
            fail(*mismatch);
            return FileOutcome::Failed;
        }
        return FileOutcome::Used;
    }

    std::nullopt_t fail(const Failure &reason)
    {
        failure = SchemeResult::failed(reason);
        return std::nullopt;
    }

private:
    const ZipArchive &archive;
    int minSdk;
    int maxSdk;
};

// The entries the check digests, each decoded once as the file's bytes go by in order, one at
// a time: a digest is running only for the entry being read.
class FedEntries
{
public:
    explicit FedEntries(const ZipArchive &archive) : archive(archive) {}

    // Entry `name` is to be digested with the algorithms of `digests`; returns its index.
    qsizetype add(const QByteArray &name, const QList<JarDigest> &digests)
    {
        const ZipDirectoryEntry *record = archive.record(name);
        Entry entry;
        entry.record = record;
        entry.from = record ? record->dataOffset : -1;
        entry.to = record ? record->dataOffset + record->compressedSize : -1;
        for (const JarDigest &digest : digests)
            entry.algorithms.append(digest.algorithm);
        entries.push_back(std::move(entry));
        return qsizetype(entries.size()) - 1;
    }

    // Once every entry is added: they are read in the order their data lies in the file, and
    // ZipDirectory has made sure that no two overlap.
    void ready()
    {
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].from >= 0)
                order.push_back(i);
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return entries[a].from < entries[b].from; });
    }

    qint64 dataNeeded() const { return order.empty() ? 0 : entries[order.back()].to; }

    void feed(qint64 offset, const char *data, qint64 size)
    {
        const qint64 end = offset + size;
        for (; next < order.size(); ++next) {
            Entry &entry = entries[order[next]];
            if (!current) {
                // An empty entry is read where its data would start.
                if (entry.from > end || (entry.from == end && entry.to > end))
                    return;
                // Its data went by unseen: it stays unread.
                if (entry.from < offset)
                    continue;
                start(entry);
            }
            const qint64 from = std::max(entry.from, offset);
            const qint64 to = std::min(entry.to, end);
            if (to > from && current->reading && !current->stopped)
                current->stopped = !current->reading->feed(data + (from - offset), to - from);
            if (entry.to > end)
                return;
            stop(entry);
        }
    }

    struct Outcome
    {
        QList<QByteArray> digests; // of what came out, in the order asked
        bool read = false;         // whole, with the size and checksum its record declares
        bool refused = false;      // not read at all: the inflate limit was reached
    };
    Outcome outcome(qsizetype index) const
    {
        const Entry &entry = entries[std::size_t(index)];
        if (entry.finished)
            return {entry.digests, entry.read, entry.refused};
        QList<QByteArray> nothing;
        for (DigestAlgorithm algorithm : entry.algorithms)
            nothing.append(DigestOf(algorithm, {}));
        return {nothing, false, false};
    }

private:
    struct Entry
    {
        const ZipDirectoryEntry *record = nullptr;
        qint64 from = -1; // where its data lies in the file
        qint64 to = -1;
        QList<DigestAlgorithm> algorithms;
        QList<QByteArray> digests;
        bool finished = false;
        bool read = false;
        bool refused = false;
    };
    struct Reading
    {
        std::vector<std::unique_ptr<Digest>> running;
        std::unique_ptr<EntryReading> reading; // null when the inflate limit refused it
        bool stopped = false;
    };

    void start(const Entry &entry)
    {
        current = std::make_unique<Reading>();
        for (DigestAlgorithm algorithm : entry.algorithms)
            current->running.push_back(std::make_unique<Digest>(algorithm));
        current->reading =
            archive.readFed(*entry.record, [running = &current->running](const char *d, qint64 n) {
                for (const auto &digest : *running)
                    digest->update(d, std::size_t(n));
            });
    }

    void stop(Entry &entry)
    {
        for (const auto &digest : current->running)
            entry.digests.append(digest->finish());
        entry.read = current->reading && current->reading->finish();
        entry.refused = !current->reading;
        entry.finished = true;
        current.reset();
    }

    const ZipArchive &archive;
    std::vector<Entry> entries; // in the order asked
    std::vector<std::size_t> order;
    std::size_t next = 0;
    std::unique_ptr<Reading> current;
};

} // namespace

// One entry's part in the verdict, in the directory's order: a failure found before any entry
// was read, or the digests its bytes must have.
struct JarEntryStep
{
    QByteArray name;
    std::optional<SchemeResult> failure;
    QList<JarDigest> expected;
    qsizetype fed = -1; // its index among the fed entries
};

struct JarSignatureCheck::State
{
    explicit State(const ZipArchive &archive) : archive(archive), entries(archive) {}

    // Everything up to the entries' digests.
    void plan(bool v2Present, bool v3Present, int minSdk, int maxSdk);

    // The result for a failure: a read refused for the inflate limit before it is named as the
    // cause instead.
    JarVerification failWith(const SchemeResult &failure, bool limitReached)
    {
        verification.result =
            limitReached ? SchemeResult::failed({FailureCode::InflateLimit}) : failure;
        return verification;
    }

    const ZipArchive &archive;
    JarVerification verification;
    std::optional<JarVerification> decided; // known before any entry was read
    QList<JarEntryStep> steps;
    FedEntries entries;
    QList<JarSigner> signers;
    QList<const JarSigner *> signersOfEntries; // those that sign every entry
    bool limitBeforeEntries = false;           // reached by the reads before the entries'
};

void JarSignatureCheck::State::plan(bool v2Present, bool v3Present, int minSdk, int maxSdk)
{
    const QList<QByteArray> names = archive.entryNames();
    signers = FindSigners(names);
    if (signers.isEmpty()) {
        decided = verification;
        return;
    }
    JarCheck check(archive, minSdk, maxSdk);
    const auto fail = [&](const std::optional<Failure> &reason = std::nullopt) {
        decided = failWith(reason ? SchemeResult::failed(*reason) : check.failure,
                           archive.inflateLimitReached());
    };
    if (!names.contains(ManifestName))
        return fail(Failure{FailureCode::JarManifestMissing});
    if (signers.size() > MaxSigners)
        return fail(Failure{FailureCode::TooManySigners});

    // Every signature block first: the manifest, the one large file, is read only for signers
    // whose signatures hold.
    for (JarSigner &signer : signers) {
        const auto signatureFile = check.read(signer.signatureFileName, MaxJarFileSize);
        const auto block =
            signatureFile ? check.read(signer.blockName, MaxSignatureBlockSize) : std::nullopt;
        if (!block)
            return fail();
        const JarBlockVerification verified = VerifyJarSignatureBlock(
            *signatureFile, *block, EntryText(signer.blockName), minSdk, maxSdk);
        if (verified.failure.state == SchemeState::Failed) {
            verification.result = verified.failure;
            decided = verification;
            return;
        }
        SignerFacts facts;
        facts.certificate = ReadCertificateFacts(verified.certificate);
        verification.signers.append(facts);
        verification.certificates.append(verified.certificate);
        signer.signatureFile = *signatureFile;
        signer.certificate = verified.certificate;
    }

    const auto manifestBytes = check.read(ManifestName, MaxJarFileSize);
    if (!manifestBytes)
        return fail();
    const JarManifest manifest(*manifestBytes);
    if (manifest.overLimit())
        return fail(
            Failure{FailureCode::JarSectionsOverLimit, {QString::fromLatin1(ManifestName)}});
    const QSet<QByteArray> present(names.begin(), names.end());
    QHash<QByteArray, qsizetype> sectionByName;
    for (qsizetype i = 0; i < manifest.sections().size(); ++i) {
        const std::optional<QByteArray> name = manifest.name(manifest.sections()[i]);
        if (!name)
            return fail(Failure{FailureCode::JarManifestUnnamedSection});
        if (sectionByName.contains(*name))
            return fail(Failure{FailureCode::JarManifestEntryTwice, {EntryText(*name)}});
        if (!present.contains(*name))
            return fail(Failure{FailureCode::JarManifestEntryMissing, {EntryText(*name)}});
        sectionByName.insert(*name, i);
    }

    ManifestDigests manifestDigests(manifest);
    QList<const JarSigner *> remaining;
    for (JarSigner &signer : signers) {
        switch (check.checkSignatureFile(signer, manifest, sectionByName, manifestDigests,
                                         v2Present, v3Present)) {
        case FileOutcome::Failed:
            return fail();
        case FileOutcome::Used:
            remaining.append(&signer);
            break;
        case FileOutcome::Ignored:
            break;
        }
    }
    if (remaining.isEmpty())
        return fail(Failure{FailureCode::JarNoValidSignatureFile});

    // Every entry outside META-INF/ must be signed, by the same signers as the others. Those
    // before the first that fails for want of a section or a signer are digested; it decides
    // unless one of them does not match.
    std::optional<QList<const JarSigner *>> entrySigners;
    const auto stepFails = [&](const QByteArray &name, const SchemeResult &failure) {
        steps.append({name, failure, {}, -1});
    };
    for (const QByteArray &name : names) {
        if (name.startsWith(MetaInf) || name.endsWith('/'))
            continue;
        const auto section = sectionByName.constFind(name);
        if (section == sectionByName.cend()) {
            stepFails(name, SchemeResult::failed(
                                {FailureCode::JarEntryNotInManifest, {EntryText(name)}}));
            break;
        }
        QList<const JarSigner *> signing;
        for (const JarSigner *signer : std::as_const(remaining))
            if (signer->named.contains(name))
                signing.append(signer);
        if (signing.isEmpty()) {
            stepFails(name,
                      SchemeResult::failed({FailureCode::JarEntryUnsigned, {EntryText(name)}}));
            break;
        }
        if (!entrySigners)
            entrySigners = signing;
        else if (*entrySigners != signing) {
            stepFails(name, SchemeResult::failed(
                                {FailureCode::JarEntrySignersDiffer, {EntryText(name)}}));
            break;
        }
        const auto digests =
            check.digests(manifest, ManifestName, manifest.sections()[*section], "-Digest");
        if (!digests) {
            stepFails(name, check.failure);
            break;
        }
        if (digests->isEmpty()) {
            stepFails(name,
                      SchemeResult::failed({FailureCode::JarEntryNoDigest, {EntryText(name)}}));
            break;
        }
        steps.append({name, std::nullopt, *digests, entries.add(name, *digests)});
    }
    entries.ready();
    limitBeforeEntries = archive.inflateLimitReached();
    if (!entrySigners && (steps.isEmpty() || !steps.last().failure))
        steps.append({{}, SchemeResult::failed({FailureCode::JarNoSignedEntries}), {}, -1});
    signersOfEntries = entrySigners.value_or(QList<const JarSigner *>());
}

JarSignatureCheck::JarSignatureCheck(const ZipArchive &archive, bool v2Present, bool v3Present,
                                     int minSdk, int maxSdk)
    : d(std::make_unique<State>(archive))
{
    d->plan(v2Present, v3Present, minSdk, maxSdk);
}

JarSignatureCheck::~JarSignatureCheck() = default;

qint64 JarSignatureCheck::dataNeeded() const
{
    return d->decided ? 0 : d->entries.dataNeeded();
}

void JarSignatureCheck::feed(qint64 offset, const char *data, qint64 size)
{
    if (!d->decided)
        d->entries.feed(offset, data, size);
}

JarVerification JarSignatureCheck::finish()
{
    if (d->decided)
        return *d->decided;
    // The entries in the directory's order, as though read one after another: a failure is put
    // down to the inflate limit when a read up to there was refused for it.
    bool limitReached = d->limitBeforeEntries;
    for (const JarEntryStep &step : std::as_const(d->steps)) {
        if (step.failure)
            return d->failWith(*step.failure, limitReached);
        const FedEntries::Outcome entry = d->entries.outcome(step.fed);
        limitReached = limitReached || entry.refused;
        // A changed byte also breaks the ZIP checksum, so the digests are compared first: they
        // name the fault.
        for (qsizetype i = 0; i < step.expected.size(); ++i)
            if (entry.digests[i] != step.expected[i].expected)
                return d->failWith(SchemeResult::failed({FailureCode::JarEntryDigestMismatch,
                                                         {EntryText(step.name)}}),
                                   limitReached);
        if (!entry.read)
            return d->failWith(
                SchemeResult::failed({FailureCode::JarEntryUnreadable, {EntryText(step.name)}}),
                limitReached);
    }

    JarVerification &verification = d->verification;
    verification.signers.clear();
    verification.certificates.clear();
    for (const JarSigner *signer : std::as_const(d->signersOfEntries)) {
        SignerFacts facts;
        facts.certificate = ReadCertificateFacts(signer->certificate);
        verification.signers.append(facts);
        verification.certificates.append(signer->certificate);
    }
    verification.result = SchemeResult::verified();
    return verification;
}
