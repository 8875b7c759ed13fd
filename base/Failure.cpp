#include "Failure.h"

const char *FailureCodeName(FailureCode code)
{
    switch (code) {
    case FailureCode::None:
        return "";
        // archive/

        // formats/

        // signing/

        // apk/
    case FailureCode::DexShorterThanHeader:
        return "dex-shorter-than-header";
    case FailureCode::DexBadMagic:
        return "dex-bad-magic";
    case FailureCode::DexBigEndian:
        return "dex-big-endian";
    case FailureCode::DexBadEndianTag:
        return "dex-bad-endian-tag";
    case FailureCode::DexBadHeaderSize:
        return "dex-bad-header-size";
    case FailureCode::DexSizeMismatch:
        return "dex-size-mismatch";
    case FailureCode::DexTableOutsideFile:
        return "dex-table-outside-file";
    case FailureCode::DexUnreadable:
        return "dex-unreadable";
    case FailureCode::PlatformPackageUnreadable:
        return "platform-package-unreadable";
    case FailureCode::PlatformPackageMalformed:
        return "platform-package-malformed";

        // bundle/
    case FailureCode::BundleDescriptionOverLimit:
        return "bundle-description-over-limit";
    case FailureCode::BundleBaseMissing:
        return "bundle-base-missing";
    case FailureCode::BundleBaseUnreadable:
        return "bundle-base-unreadable";
    case FailureCode::BundleDescriptionUnreadable:
        return "bundle-description-unreadable";
    case FailureCode::BundleDescriptionPackageDiffers:
        return "bundle-description-package-differs";
    case FailureCode::BundleDescriptionVersionCodeDiffers:
        return "bundle-description-version-code-differs";
    case FailureCode::BundleDescriptionVersionNameDiffers:
        return "bundle-description-version-name-differs";
    case FailureCode::BundleDescriptionBaseDiffers:
        return "bundle-description-base-differs";
    case FailureCode::BundleApkFails:
        return "bundle-apk-fails";
    case FailureCode::BundleApkOverLimit:
        return "bundle-apk-over-limit";
    case FailureCode::BundleApkUnreadable:
        return "bundle-apk-unreadable";
    case FailureCode::BundleApkUnsigned:
        return "bundle-apk-unsigned";
    case FailureCode::BundleApkSignerDiffers:
        return "bundle-apk-signer-differs";
    }
    return "";
}
