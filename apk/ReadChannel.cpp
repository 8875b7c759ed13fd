#include "ReadChannel.h"

#include "archive/ZipArchive.h"
#include "base/LittleEndianCursor.h"
#include "signing/PackageLayout.h"
#include "signing/SigningBlock.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

namespace {

constexpr quint32 WallePairId = 0x71777777;
constexpr quint32 VasDollyPairId = 0x881155ff;
constexpr QByteArrayView CommentMagic("ltlovezh");
constexpr qint64 EndRecordSize = 22;

// A name fit to show on one line of the window: a marker is anyone's to write, so one that
// could pass for other rows (a line break) or hide itself is no name.
std::optional<QString> ChannelName(const QString &name)
{
    if (name.isEmpty() || name.size() > MaxChannelLength)
        return std::nullopt;
    for (const QChar c : name)
        if (!c.isPrint() || c.isSpace() != (c == QLatin1Char(' ')))
            return std::nullopt;
    return name;
}

std::optional<QString> DecodedName(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = utf8(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return ChannelName(name);
}

} // namespace

std::optional<QString> ChannelFromBlock(const SigningBlock &block)
{
    for (const ExtraPair &pair : block.extraPairs)
        if (pair.id == WallePairId) {
            const QJsonValue channel =
                QJsonDocument::fromJson(pair.value).object().value(QLatin1String("channel"));
            if (channel.isString())
                return ChannelName(channel.toString());
        }
    for (const ExtraPair &pair : block.extraPairs)
        if (pair.id == VasDollyPairId)
            return DecodedName(pair.value);
    return std::nullopt;
}

std::optional<QString> ChannelFromComment(QByteArrayView comment)
{
    if (!comment.endsWith(CommentMagic) || comment.size() < CommentMagic.size() + 2)
        return std::nullopt;
    const qsizetype lengthAt = comment.size() - CommentMagic.size() - 2;
    const qsizetype length = LittleEndianCursor(comment).u16At(lengthAt);
    if (length > lengthAt)
        return std::nullopt;
    return DecodedName(comment.sliced(lengthAt - length, length));
}

std::optional<QString> ReadChannel(const SafeFile &file, const ZipArchive &archive)
{
    if (!archive.isOpen())
        return std::nullopt;
    const PackageLayout layout = ReadPackageLayout(file, archive.endRecord());
    if (layout.error.failed())
        return std::nullopt;
    if (!layout.block.isEmpty())
        if (const auto channel = ChannelFromBlock(ParseSigningBlock(layout.block)))
            return channel;
    return ChannelFromComment(QByteArrayView(layout.endBytes).sliced(EndRecordSize));
}
