#include "ContentsText.h"

#include "ShownDetails.h"
#include "base/NarrowText.h"

QString CategoryText(SizeCategory category)
{
    switch (category) {
    case SizeCategory::Code:
        return QStringLiteral("代码");
    case SizeCategory::ResourcesTable:
        return QStringLiteral("资源表");
    case SizeCategory::Res:
        return QStringLiteral("res/");
    case SizeCategory::Native:
        return QStringLiteral("原生库");
    case SizeCategory::Assets:
        return QStringLiteral("assets/");
    case SizeCategory::Signature:
        return QStringLiteral("签名");
    case SizeCategory::Other:
        break;
    }
    return QStringLiteral("其他");
}

QString MethodText(quint16 method)
{
    switch (method) {
    case 0:
        return QStringLiteral("存储");
    case 8:
        return QStringLiteral("deflate");
    default:
        return QStringLiteral("方法 %1").arg(method);
    }
}

QString ShareText(qint64 part, qint64 whole)
{
    const double share = whole > 0 ? 100.0 * double(part) / double(whole) : 0.0;
    return QString::number(share, 'f', 2) + u'%';
}

QString EntryNameText(const QByteArray &name)
{
    return EscapeControls(FromNarrow(name));
}

QString ContentsText(const ContentsListing &listing)
{
    QString text = QStringLiteral("存储大小\t解压后大小\t占比\t方法\t名称\n");
    for (const ListedEntry &entry : listing.entries)
        text += QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                    .arg(entry.stored)
                    .arg(entry.uncompressed)
                    .arg(ShareText(entry.stored, listing.fileSize), MethodText(entry.method),
                         EntryNameText(entry.name));
    return text;
}
