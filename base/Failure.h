#pragma once

#include <QStringList>
#include <memory>

// Every reason a step can fail for. The layer that fails gives the code and its arguments,
// never a sentence; details/ words every code in one place, and the report shows each code's
// stable name (FailureCodeName) beside the words, for scripts to test.
enum class FailureCode
{
    None,
    // archive/
    FileUnreadable,
    ZipDamaged,
    ZipSeveralEndRecords,
    Zip64Unsupported,
    ZipDirectoryTooLarge,
    ZipDirectoryMismatch,
    ZipStoredSizesDiffer,
    ZipDuplicateEntry,
    ZipSharedData,
    ZipOverlappingEntries,
    ZipLocalHeaderMismatch,
    ZipEntryPastDirectory,
    ZipTwoReadings,

    // formats/
    FormatModuleMissing,
    FormatModuleNoDirectory,
    FormatModuleWrongVersion,
    ManifestTooLarge,
    ManifestInflateLimit,
    ManifestUnreadable,
    ManifestMalformed,

    // signing/
    ZipEntryOverlapsSigningBlock,
    SigningBlockMalformed,
    SigningBlockSizesDiffer,
    SigningBlockUnaligned,
    SignedDataMalformed,
    TooManySigners,
    NoSigners,
    SignerNoCertificate,
    CertificateUnparsable,
    PublicKeyUnparsable,
    PublicKeyMismatch,
    RsaKeyUnreadable,
    RsaKeyTooLong,
    RsaKeyTooShort,
    RsaModulusInvalid,
    RsaExponentTooLarge,
    RsaExponentInvalid,
    SignerRangeInvalid,
    NoVerifiableAlgorithm,
    SignatureMismatch,
    DigestAlgorithmsMismatch,
    SdkRangeMismatch,
    LineageTooLong,
    LineageDuplicateCertificate,
    LineageBroken,
    ContentDigestMismatch,
    SignersUncoveredFrom,
    SignersUncoveredLevel,
    SignersUncoveredRange,
    SignerRangesOverlap,
    V31MinSdkMismatch,
    V31Failed,
    V3Stripped,
    V2V3Stripped,
    JarManifestMissing,
    JarEntryTooLarge,
    JarEntryUnreadable,
    JarBlockMalformed,
    JarBlockOverLimit,
    JarBlockNoSigner,
    JarAlgorithmUnsupported,
    JarBlockNoCertificate,
    JarCriticalExtension,
    JarCertificateNotForSigning,
    JarKeyAlgorithmMismatch,
    JarKeyRefused,
    JarSignedAttributesTooOld,
    JarSignedAttributesMalformed,
    JarSignedAttributesNoContentType,
    JarSignedAttributesNoDigest,
    JarSignatureFileFailed,
    JarSectionsOverLimit,
    JarDigestNotBase64,
    JarDigestAlgorithmsOverLimit,
    JarMainAttributesMismatch,
    JarSignatureFileMismatch,
    JarManifestUnnamedSection,
    JarManifestEntryTwice,
    JarManifestEntryMissing,
    JarNoValidSignatureFile,
    JarEntryNotInManifest,
    JarEntryUnsigned,
    JarEntrySignersDiffer,
    JarEntryNoDigest,
    JarNoSignedEntries,
    JarEntryDigestMismatch,
    InflateLimit,
    SignersDifferAcrossSchemes,
    SandboxUnknownNeedsV2,
    SandboxNeedsV2,
    JarNeededBelowNougat,
    TargetSdkUnknownNeedsV2,
    TargetSdkNeedsV2,

    // apk/
    // apk/: the signature check's platforms
    MinSdkUnknown,
    // apk/: DEX headers and the framework package
    DexShorterThanHeader,
    DexBadMagic,
    DexBigEndian,
    DexBadEndianTag,
    DexBadHeaderSize,
    DexSizeMismatch,
    DexTableOutsideFile, // the table's name
    DexUnreadable,
    PlatformPackageUnreadable, // the framework package's path
    PlatformPackageMalformed,  // the framework package's path

    // bundle/
    BundleDescriptionOverLimit, // the description's entry
    BundleBaseMissing,
    BundleBaseUnreadable,
    BundleDescriptionUnreadable,         // the description's entry
    BundleDescriptionPackageDiffers,     // the entry, what it says, what the base says
    BundleDescriptionVersionCodeDiffers, // the entry, what it says, what the base says
    BundleDescriptionVersionNameDiffers, // the entry, what it says, what the base says
    BundleDescriptionBaseDiffers,        // the entry, the APK it names, the base found
    BundleApkOverLimit,
    BundleApkUnreadable,
    BundleApkUnsigned,
    BundleApkSignerDiffers,
};

// The stable name of a code, lower case with hyphens ("zip-duplicate-entry"); empty for None.
const char *FailureCodeName(FailureCode code);

// Why a step failed: a code, the arguments its wording takes in order (entry names, API levels,
// sizes as text), and the failure below it that it wraps, if any.
struct Failure
{
    Failure() = default;
    // Not explicit, so that a layer may say `return {FailureCode::ZipDamaged};`: -Wextra would
    // find fields missing in such an aggregate's braces.
    Failure(FailureCode code, QStringList args = {}, std::shared_ptr<const Failure> cause = {})
        : code(code), args(std::move(args)), cause(std::move(cause))
    {
    }

    FailureCode code = FailureCode::None;
    QStringList args;
    std::shared_ptr<const Failure> cause;

    bool failed() const { return code != FailureCode::None; }
    bool operator==(const Failure &other) const
    {
        return code == other.code && args == other.args &&
               (cause && other.cause ? *cause == *other.cause : cause == other.cause);
    }
};
