#include "ResourceResolver.h"

QList<TableValue> ResourceResolver::resolve(quint32 id)
{
    QList<TableValue> found;
    collect(id, 0, found);
    return exhausted() ? QList<TableValue>() : found;
}

void ResourceResolver::collect(quint32 id, int depth, QList<TableValue> &found)
{
    budget -= std::max<qint64>(1, resources.configurationCount(id));
    if (exhausted())
        return;
    for (const TableValue &value : resources.values(id)) {
        if (value.type != ValueType::Reference)
            found.append(value);
        else if (depth < MaxAliasDepth)
            collect(value.data, depth + 1, found);
        if (exhausted())
            return;
    }
}

ResourceText ResourceResolver::text(quint32 id)
{
    ResourceText text;
    QString chinaChinese, chinese;
    for (const TableValue &value : resolve(id)) {
        if (value.type != ValueType::String)
            continue;
        QString *slot = value.language.isEmpty()  ? &text.text
                        : value.language != "zh"  ? nullptr
                        : value.country == "CN"   ? &chinaChinese
                        : value.country.isEmpty() ? &chinese
                                                  : nullptr;
        if (slot && slot->isEmpty())
            *slot = resources.string(value.data, MaxTextLength).value_or(QString());
    }
    text.chinese = chinaChinese.isEmpty() ? chinese : chinaChinese;
    return text;
}

std::optional<qint32> ResourceResolver::integer(quint32 id)
{
    std::optional<qint32> found;
    for (const TableValue &value : resolve(id)) {
        if (!value.language.isEmpty())
            continue;
        if (value.type < ValueType::FirstInteger || value.type > ValueType::LastInteger ||
            (found && *found != qint32(value.data)))
            return std::nullopt;
        found = qint32(value.data);
    }
    return found;
}
