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
    }
    return "";
}
