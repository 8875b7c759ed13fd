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

    // formats/

    // signing/

    // apk/
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
    BundleApkFails,                      // the inner APK's entry; wraps why
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
