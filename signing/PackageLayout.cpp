#include "PackageLayout.h"

#include "ByteCursor.h"
#include "digest/SafeFile.h"

#include <QtEndian>

namespace {

constexpr qint64 EndRecordSize = 22;
constexpr qint64 MaxCommentSize = 0xffff;
constexpr quint32 EndRecordSignature = 0x06054b50;
constexpr quint32 Zip64LocatorSignature = 0x07064b50;
constexpr qint64 Zip64LocatorSize = 20;
// The size field and magic that end a signing block.
constexpr qint64 BlockFooterSize = 24;
constexpr QByteArrayView BlockMagic("APK Sig Block 42");
// Real blocks are a few KiB (a little more with padding); refuse before allocating more.
constexpr quint64 MaxBlockSize = 64 << 20;

} // namespace

std::optional<EndRecord> FindEndRecord(QByteArrayView tail, qint64 tailOffset, QString &error)
{
    error = QStringLiteral("ZIP 结构损坏");
    for (qint64 at = tail.size() - EndRecordSize; at >= 0; --at) {
        ByteCursor cursor(tail.sliced(at));
        quint32 signature = 0;
        cursor.readU32(signature);
        if (signature != EndRecordSignature)
            continue;
        QByteArrayView fields;
        cursor.readBytes(EndRecordSize - 4, fields);
        const auto *raw = reinterpret_cast<const uchar *>(fields.data());
        const quint16 commentSize = qFromLittleEndian<quint16>(raw + 16);
        if (at + EndRecordSize + commentSize != tail.size())
            continue;
        const quint16 disk = qFromLittleEndian<quint16>(raw);
        const quint16 entries = qFromLittleEndian<quint16>(raw + 6);
        const quint32 size = qFromLittleEndian<quint32>(raw + 8);
        const quint32 offset = qFromLittleEndian<quint32>(raw + 12);
        const bool locatorBefore =
            at >= Zip64LocatorSize &&
            qFromLittleEndian<quint32>(tail.data() + at - Zip64LocatorSize) ==
                Zip64LocatorSignature;
        if (disk == 0xffff || entries == 0xffff || size == 0xffffffff || offset == 0xffffffff ||
            locatorBefore) {
            error = QStringLiteral("不支持 ZIP64");
            return std::nullopt;
        }
        EndRecord record{tailOffset + at, offset, size};
        if (record.centralDirectoryOffset + record.centralDirectorySize != record.offset)
            return std::nullopt;
        error.clear();
        return record;
    }
    return std::nullopt;
}

PackageLayout ReadPackageLayout(const SafeFile &file)
{
    PackageLayout layout;
    layout.fileSize = file.size();
    const qint64 tailSize = qMin(layout.fileSize, EndRecordSize + MaxCommentSize);
    QByteArray tail(tailSize, Qt::Uninitialized);
    if (!file.readAt(layout.fileSize - tailSize, tail.data(), tailSize)) {
        layout.error = QStringLiteral("无法读取文件");
        return layout;
    }
    const auto end = FindEndRecord(tail, layout.fileSize - tailSize, layout.error);
    if (!end)
        return layout;
    layout.end = *end;
    layout.endBytes = tail.sliced(end->offset - (layout.fileSize - tailSize));
    layout.blockOffset = end->centralDirectoryOffset;

    const qint64 cd = end->centralDirectoryOffset;
    char footer[BlockFooterSize];
    if (cd < BlockFooterSize + 8 || !file.readAt(cd - BlockFooterSize, footer, BlockFooterSize) ||
        QByteArrayView(footer + 8, 16) != BlockMagic)
        return layout;
    // The size field counts the block without the leading size field itself.
    const quint64 size = qFromLittleEndian<quint64>(footer);
    if (size < BlockFooterSize || size > MaxBlockSize || size > quint64(cd - 8)) {
        layout.error = QStringLiteral("签名块格式错误");
        return layout;
    }
    layout.blockOffset = cd - qint64(size) - 8;
    layout.block.resize(qsizetype(size + 8));
    if (!file.readAt(layout.blockOffset, layout.block.data(), layout.block.size()))
        layout.error = QStringLiteral("无法读取文件");
    return layout;
}
