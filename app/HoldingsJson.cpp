#include "HoldingsJson.h"

#include "base/NarrowText.h"

#include <QJsonArray>

QJsonValue TextOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonObject ByCategoryObject(const std::array<StoredAndUncompressed, SizeCategoryCount> &sizes)
{
    QJsonObject object;
    for (int category = 0; category < SizeCategoryCount; ++category) {
        const StoredAndUncompressed &size = sizes[std::size_t(category)];
        object.insert(CategoryKey(SizeCategory(category)),
                      QJsonObject{{QStringLiteral("stored"), size.stored},
                                  {QStringLiteral("uncompressed"), size.uncompressed}});
    }
    return object;
}

QJsonValue DexValue(const std::optional<ApkHoldings> &holdings)
{
    if (!holdings)
        return {};
    QJsonArray files;
    for (const DexFile &file : holdings->dexFiles) {
        const std::optional<DexHeader> &header = file.reading.header;
        const auto count = [&](quint32 DexHeader::*field) {
            return header ? QJsonValue(qint64((*header).*field)) : QJsonValue();
        };
        files.append(QJsonObject{
            {QStringLiteral("name"), FromNarrow(file.name)},
            {QStringLiteral("version"), header ? QJsonValue(header->version) : QJsonValue()},
            {QStringLiteral("classes"), count(&DexHeader::classes)},
            {QStringLiteral("methods"), count(&DexHeader::methods)},
            {QStringLiteral("fields"), count(&DexHeader::fields)},
            {QStringLiteral("strings"), count(&DexHeader::strings)},
        });
    }
    return QJsonObject{{QStringLiteral("files"), files}};
}

QJsonValue FrameworksValue(const std::optional<ApkHoldings> &holdings)
{
    return holdings ? QJsonValue(QJsonArray::fromStringList(holdings->frameworks)) : QJsonValue();
}

QJsonObject SizesObject(const std::optional<ApkHoldings> &holdings,
                        std::optional<qint64> downloadEstimate)
{
    return {
        {QStringLiteral("downloadEstimate"),
         downloadEstimate ? QJsonValue(*downloadEstimate) : QJsonValue()},
        {QStringLiteral("byCategory"),
         holdings ? QJsonValue(ByCategoryObject(holdings->contents.byCategory)) : QJsonValue()},
    };
}
