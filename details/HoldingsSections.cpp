#include "HoldingsSections.h"

#include "ContentsText.h"
#include "FailureText.h"
#include "FileSizeText.h"
#include "PackageDetails.h"
#include "base/NarrowText.h"

std::optional<DetailsSection> UnknownHoldings(const QString &title, const QString &label,
                                              const PackageDetails &details)
{
    if (details.fileChanged)
        return DetailsSection{title, {{label, FileChangedText()}}};
    if (details.contentsPending)
        return DetailsSection{title, {{label, PendingText()}}};
    if (!details.holdings)
        return DetailsSection{title, {{label, QStringLiteral("无法读取")}}};
    return std::nullopt;
}

namespace {

QString DexText(const DexFile &file)
{
    if (!file.reading.header)
        return FailureText(file.reading.problem);
    const DexHeader &header = *file.reading.header;
    QString text = QStringLiteral("版本 %1，类 %2，方法 %3，字段 %4，字符串 %5")
                       .arg(header.version)
                       .arg(GroupedDigits(header.classes), GroupedDigits(header.methods),
                            GroupedDigits(header.fields), GroupedDigits(header.strings));
    if (NearsMethodLimit(header.methods))
        text += QStringLiteral("（接近 %1 个方法的上限）").arg(GroupedDigits(MethodReferenceLimit));
    return text;
}

} // namespace

DetailsSection CodeSection(const PackageDetails &details)
{
    const QString title = QStringLiteral("代码");
    const QString label = QStringLiteral("DEX 文件");
    if (const std::optional<DetailsSection> unknown = UnknownHoldings(title, label, details))
        return *unknown;
    DetailsSection section{title, {}};
    for (const DexFile &file : details.holdings->dexFiles)
        section.rows.append({FromNarrow(file.name), DexText(file)});
    if (section.rows.isEmpty())
        section.rows.append({label, QStringLiteral("无")});
    return section;
}

DetailsSection FrameworkSection(const PackageDetails &details)
{
    const QString title = QStringLiteral("框架");
    if (const std::optional<DetailsSection> unknown = UnknownHoldings(title, title, details))
        return *unknown;
    const QStringList &frameworks = details.holdings->frameworks;
    if (frameworks.isEmpty())
        return {title, {{title, QStringLiteral("无")}}};
    return {title, {{title, frameworks.join(u'\n'), true}}};
}

DetailsSection SizeSection(const PackageDetails &details)
{
    const QString title = QStringLiteral("大小");
    const QString estimateLabel = QStringLiteral("估计下载大小");
    if (const std::optional<DetailsSection> unknown =
            UnknownHoldings(title, QStringLiteral("各类大小"), details))
        return *unknown;
    DetailsSection section{title, {}};
    const ContentsListing &contents = details.holdings->contents;
    for (int index = 0; index < SizeCategoryCount; ++index) {
        const StoredAndUncompressed &size = contents.byCategory[std::size_t(index)];
        section.rows.append({CategoryText(SizeCategory(index)),
                             QStringLiteral("存储 %1，解压后 %2")
                                 .arg(FileSizeText(size.stored), FileSizeText(size.uncompressed))});
    }
    if (details.estimatePending)
        section.rows.append({estimateLabel, PendingText()});
    else if (details.estimated)
        section.rows.append({estimateLabel, details.downloadEstimate
                                                ? FileSizeText(*details.downloadEstimate)
                                                : QStringLiteral("无法计算")});
    return section;
}
