#include "FailureText.h"

namespace {

// The wording of each code: %1, %2, … take the failure's arguments in order, and the one after
// them the text of the failure it wraps.
QString Wording(FailureCode code)
{
    switch (code) {
    case FailureCode::None:
        return {};
        // archive/
    case FailureCode::FileUnreadable:
        return QStringLiteral("无法读取文件");
    case FailureCode::ZipDamaged:
        return QStringLiteral("ZIP 结构损坏");
    case FailureCode::ZipSeveralEndRecords:
        return QStringLiteral("ZIP 结构异常：有多个结束记录");
    case FailureCode::Zip64Unsupported:
        return QStringLiteral("不支持 ZIP64");
    case FailureCode::ZipDirectoryTooLarge:
        return QStringLiteral("ZIP 结构异常：中央目录过大");
    case FailureCode::ZipDirectoryMismatch:
        return QStringLiteral("ZIP 结构异常：中央目录与结束记录不符");
    case FailureCode::ZipStoredSizesDiffer:
        return QStringLiteral("ZIP 结构异常：未压缩条目的两个大小不同");
    case FailureCode::ZipDuplicateEntry:
        return QStringLiteral("ZIP 结构异常：文件 %1 重复出现");
    case FailureCode::ZipSharedData:
        return QStringLiteral("ZIP 结构异常：多个条目共用同一数据");
    case FailureCode::ZipOverlappingEntries:
        return QStringLiteral("ZIP 结构异常：条目相互重叠");
    case FailureCode::ZipLocalHeaderMismatch:
        return QStringLiteral("ZIP 结构异常：本地文件头与中央目录不符");
    case FailureCode::ZipEntryPastDirectory:
        return QStringLiteral("ZIP 结构异常：条目越过中央目录");
    case FailureCode::ZipTwoReadings:
        return QStringLiteral("ZIP 结构异常：中央目录有两种读法");

        // formats/
    case FailureCode::FormatModuleMissing:
        return QStringLiteral("无法加载 %1：%2");
    case FailureCode::FormatModuleNoDirectory:
        return QStringLiteral("无法加载 %1：程序目录未知");
    case FailureCode::FormatModuleWrongVersion:
        return QStringLiteral("无法加载 %1：%2 不是本程序的版本");
    case FailureCode::ManifestTooLarge:
        return QStringLiteral("AndroidManifest.xml 超过大小上限");
    case FailureCode::ManifestInflateLimit:
        return QStringLiteral("AndroidManifest.xml 解压后的数据超过上限");
    case FailureCode::ManifestUnreadable:
        return QStringLiteral("AndroidManifest.xml 无法读取");
    case FailureCode::ManifestMalformed:
        return QStringLiteral("AndroidManifest.xml 格式错误");

        // signing/
    case FailureCode::ZipEntryOverlapsSigningBlock:
        return QStringLiteral("ZIP 结构异常：条目与签名块重叠");
    case FailureCode::SigningBlockMalformed:
        return QStringLiteral("签名块格式错误");
    case FailureCode::SigningBlockSizesDiffer:
        return QStringLiteral("签名块大小不一致");
    case FailureCode::SigningBlockUnaligned:
        return QStringLiteral("签名块未按 4 KB 对齐");
    case FailureCode::SignedDataMalformed:
        return QStringLiteral("签名数据格式错误");
    case FailureCode::TooManySigners:
        return QStringLiteral("签名者过多");
    case FailureCode::NoSigners:
        return QStringLiteral("没有签名者");
    case FailureCode::SignerNoCertificate:
        return QStringLiteral("没有证书");
    case FailureCode::CertificateUnparsable:
        return QStringLiteral("证书无法解析");
    case FailureCode::PublicKeyUnparsable:
        return QStringLiteral("公钥无法解析");
    case FailureCode::PublicKeyMismatch:
        return QStringLiteral("公钥与证书不符");
    case FailureCode::RsaKeyUnreadable:
        return QStringLiteral("RSA 公钥无法读取");
    case FailureCode::RsaKeyTooLong:
        return QStringLiteral("RSA 密钥长度超过上限");
    case FailureCode::RsaKeyTooShort:
        return QStringLiteral("RSA 密钥长度低于下限");
    case FailureCode::RsaModulusInvalid:
        return QStringLiteral("RSA 模数无效");
    case FailureCode::RsaExponentTooLarge:
        return QStringLiteral("RSA 公钥指数超过上限");
    case FailureCode::RsaExponentInvalid:
        return QStringLiteral("RSA 公钥指数无效");
    case FailureCode::SignerRangeInvalid:
        return QStringLiteral("签名者平台版本范围无效");
    case FailureCode::NoVerifiableAlgorithm:
        return QStringLiteral("没有可校验的签名算法");
    case FailureCode::SignatureMismatch:
        return QStringLiteral("签名不符");
    case FailureCode::DigestAlgorithmsMismatch:
        return QStringLiteral("摘要与签名的算法不一致");
    case FailureCode::SdkRangeMismatch:
        return QStringLiteral("SDK 版本范围与签名内容不一致");
    case FailureCode::LineageTooLong:
        return QStringLiteral("密钥轮换记录超过上限");
    case FailureCode::LineageDuplicateCertificate:
        return QStringLiteral("密钥轮换记录中有重复的证书");
    case FailureCode::LineageBroken:
        return QStringLiteral("密钥轮换记录校验失败");
    case FailureCode::ContentDigestMismatch:
        return QStringLiteral("内容摘要不符");
    case FailureCode::SignersUncoveredFrom:
        return QStringLiteral("签名者未覆盖 API %1 及以上");
    case FailureCode::SignersUncoveredLevel:
        return QStringLiteral("签名者未覆盖 API %1");
    case FailureCode::SignersUncoveredRange:
        return QStringLiteral("签名者未覆盖 API %1–%2");
    case FailureCode::SignerRangesOverlap:
        return QStringLiteral("签名者平台版本重叠");
    case FailureCode::V31MinSdkMismatch:
        return QStringLiteral("签名者所记的 v3.1 起始版本不符");
    case FailureCode::V31Failed:
        return QStringLiteral("v3.1 %1");
    case FailureCode::V3Stripped:
        return QStringLiteral("v3 签名已被剥离");
    case FailureCode::V2V3Stripped:
        return QStringLiteral("v2/v3 签名已被剥离");
    case FailureCode::JarManifestMissing:
        return QStringLiteral("缺少 META-INF/MANIFEST.MF");
    case FailureCode::JarEntryTooLarge:
        return QStringLiteral("%1 超过大小上限");
    case FailureCode::JarEntryUnreadable:
        return QStringLiteral("文件 %1 无法读取");
    case FailureCode::JarBlockMalformed:
        return QStringLiteral("%1 格式错误");
    case FailureCode::JarBlockOverLimit:
        return QStringLiteral("%1 的证书或签名者数超过上限");
    case FailureCode::JarBlockNoSigner:
        return QStringLiteral("%1 没有签名者");
    case FailureCode::JarAlgorithmUnsupported:
        return QStringLiteral("%1 的签名算法不受 Android API %2 支持");
    case FailureCode::JarBlockNoCertificate:
        return QStringLiteral("%1 中没有签名者的证书");
    case FailureCode::JarCriticalExtension:
        return QStringLiteral("%1 的证书带有 Android API %2 不支持的关键扩展 %3");
    case FailureCode::JarCertificateNotForSigning:
        return QStringLiteral("%1 的证书不允许用于签名");
    case FailureCode::JarKeyAlgorithmMismatch:
        return QStringLiteral("%1 的证书密钥与签名算法不符");
    case FailureCode::JarKeyRefused:
        return QStringLiteral("%1 的证书 %2");
    case FailureCode::JarSignedAttributesTooOld:
        return QStringLiteral("%1 带签名属性，Android 4.4 以下无法正确校验");
    case FailureCode::JarSignedAttributesMalformed:
        return QStringLiteral("%1 的签名属性格式错误");
    case FailureCode::JarSignedAttributesNoContentType:
        return QStringLiteral("%1 的签名属性缺少内容类型");
    case FailureCode::JarSignedAttributesNoDigest:
        return QStringLiteral("%1 的签名属性缺少消息摘要");
    case FailureCode::JarSignatureFileFailed:
        return QStringLiteral("签名文件 %1 校验失败");
    case FailureCode::JarSectionsOverLimit:
        return QStringLiteral("%1 的节数或属性数超过上限");
    case FailureCode::JarDigestNotBase64:
        return QStringLiteral("%1 中的摘要不是合法的 Base64");
    case FailureCode::JarDigestAlgorithmsOverLimit:
        return QStringLiteral("%1 的 Digest-Algorithms 超过上限");
    case FailureCode::JarMainAttributesMismatch:
        return QStringLiteral("%1 与清单的主属性不符");
    case FailureCode::JarSignatureFileMismatch:
        return QStringLiteral("%1 与清单不符");
    case FailureCode::JarManifestUnnamedSection:
        return QStringLiteral("META-INF/MANIFEST.MF 有未命名的节");
    case FailureCode::JarManifestEntryTwice:
        return QStringLiteral("清单中 %1 出现了两次");
    case FailureCode::JarManifestEntryMissing:
        return QStringLiteral("清单中的 %1 不在 ZIP 中");
    case FailureCode::JarNoValidSignatureFile:
        return QStringLiteral("没有有效的签名文件");
    case FailureCode::JarEntryNotInManifest:
        return QStringLiteral("文件 %1 不在清单中");
    case FailureCode::JarEntryUnsigned:
        return QStringLiteral("文件 %1 未签名");
    case FailureCode::JarEntrySignersDiffer:
        return QStringLiteral("文件 %1 的签名者与其他文件不同");
    case FailureCode::JarEntryNoDigest:
        return QStringLiteral("文件 %1 在清单中没有可校验的摘要");
    case FailureCode::JarNoSignedEntries:
        return QStringLiteral("没有已签名的文件");
    case FailureCode::JarEntryDigestMismatch:
        return QStringLiteral("文件 %1 摘要不符");
    case FailureCode::InflateLimit:
        return QStringLiteral("解压后的数据超过上限");
    case FailureCode::SignersDifferAcrossSchemes:
        return QStringLiteral("各方案签名者不一致");
    case FailureCode::SandboxUnknownNeedsV2:
        return QStringLiteral("targetSandboxVersion 无法确定，需要 v2 或 v3 签名");
    case FailureCode::SandboxNeedsV2:
        return QStringLiteral("targetSandboxVersion %1 需要 v2 或 v3 签名");
    case FailureCode::JarNeededBelowNougat:
        return QStringLiteral("Android 7.0 以下需要 v1 (JAR) 签名");
    case FailureCode::TargetSdkUnknownNeedsV2:
        return QStringLiteral("targetSdkVersion 无法确定，需要 v2 或 v3 签名");
    case FailureCode::TargetSdkNeedsV2:
        return QStringLiteral("targetSdkVersion %1 需要 v2 或 v3 签名");

        // apk/
        // apk/: the signature check's platforms
    case FailureCode::MinSdkUnknown:
        return QStringLiteral("minSdkVersion 无法确定");
        // apk/: DEX headers and the framework package
    case FailureCode::DexShorterThanHeader:
        return QStringLiteral("短于 DEX 文件头");
    case FailureCode::DexBadMagic:
        return QStringLiteral("不是 DEX 文件");
    case FailureCode::DexBigEndian:
        return QStringLiteral("大端序 DEX 文件，Android 不加载");
    case FailureCode::DexBadEndianTag:
        return QStringLiteral("DEX 字节序标记错误");
    case FailureCode::DexBadHeaderSize:
        return QStringLiteral("DEX 文件头长度错误");
    case FailureCode::DexSizeMismatch:
        return QStringLiteral("DEX 文件大小与条目不符");
    case FailureCode::DexTableOutsideFile:
        return QStringLiteral("DEX 文件头的 %1 超出文件");
    case FailureCode::DexUnreadable:
        return QStringLiteral("无法读取");
    case FailureCode::PlatformPackageUnreadable:
        return QStringLiteral("无法读取 %1");
    case FailureCode::PlatformPackageMalformed:
        return QStringLiteral("%1 格式错误");

        // bundle/
    case FailureCode::BundleDescriptionOverLimit:
        return QStringLiteral("%1 超过上限");
    case FailureCode::BundleBaseMissing:
        return QStringLiteral("找不到基础 APK");
    case FailureCode::BundleBaseUnreadable:
        return QStringLiteral("找不到可读取的基础 APK");
    case FailureCode::BundleDescriptionUnreadable:
        return QStringLiteral("%1 无法读取");
    case FailureCode::BundleDescriptionPackageDiffers:
        return QStringLiteral("%1 的包名“%2”与基础 APK 的“%3”不同");
    case FailureCode::BundleDescriptionVersionCodeDiffers:
        return QStringLiteral("%1 的版本代码“%2”与基础 APK 的“%3”不同");
    case FailureCode::BundleDescriptionVersionNameDiffers:
        return QStringLiteral("%1 的版本号“%2”与基础 APK 的“%3”不同");
    case FailureCode::BundleDescriptionBaseDiffers:
        return QStringLiteral("%1 指定的基础 APK“%2”不是基础 APK，实为“%3”");
    case FailureCode::BundleApkOverLimit:
        return QStringLiteral("解压后的数据超过上限");
    case FailureCode::BundleApkUnreadable:
        return QStringLiteral("无法读取");
    case FailureCode::BundleApkUnsigned:
        return QStringLiteral("未签名");
    case FailureCode::BundleApkSignerDiffers:
        return QStringLiteral("签名者与基础 APK 不同");
    }
    return {};
}

// Fills every %N in one pass, so an argument that itself holds "%1" (an entry's name, say) is
// shown as it is rather than filled in again.
QString Fill(const QString &wording, const QStringList &values)
{
    QString text;
    text.reserve(wording.size());
    for (qsizetype i = 0; i < wording.size(); ++i) {
        if (wording[i] == u'%' && i + 1 < wording.size() && wording[i + 1].isDigit()) {
            const qsizetype index = wording[i + 1].digitValue() - 1;
            if (index >= 0 && index < values.size()) {
                text += values[index];
                ++i;
                continue;
            }
        }
        text += wording[i];
    }
    return text;
}

} // namespace

QString FailureText(const Failure &failure)
{
    if (!failure.failed())
        return {};
    QStringList values = failure.args;
    if (failure.cause)
        values.append(FailureText(*failure.cause));
    return Fill(Wording(failure.code), values);
}

QStringList FailureTexts(const QList<Failure> &failures)
{
    QStringList texts;
    texts.reserve(failures.size());
    for (const Failure &failure : failures)
        texts.append(FailureText(failure));
    return texts;
}
