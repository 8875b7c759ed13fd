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

        // formats/

        // signing/

        // apk/
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
    case FailureCode::BundleApkFails:
        return QStringLiteral("%1 %2");
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
