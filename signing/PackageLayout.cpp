#include "PackageLayout.h"

#include "base/LittleEndianCursor.h"
#include "digest/SafeFile.h"

namespace {

// The size field and magic that end a signing block.
constexpr qint64 BlockFooterSize = 24;
constexpr QByteArrayView BlockMagic("APK Sig Block 42");
// Real blocks are a few KiB (a little more with padding); refuse before allocating more.
constexpr quint64 MaxBlockSize = 64 << 20;

} // namespace

PackageLayout ReadPackageLayout(const SafeFile &file, const EndRecord &end)
{
    PackageLayout layout;
    layout.fileSize = file.size();
    layout.end = end;
    layout.endBytes.resize(qsizetype(layout.fileSize - end.offset));
    if (!file.readAt(end.offset, layout.endBytes.data(), layout.endBytes.size())) {
        layout.error = {FailureCode::FileUnreadable};
        return layout;
    }
    layout.blockOffset = end.centralDirectoryOffset;

    const qint64 cd = end.centralDirectoryOffset;
    char footer[BlockFooterSize];
    if (cd < BlockFooterSize + 8 || !file.readAt(cd - BlockFooterSize, footer, BlockFooterSize) ||
        QByteArrayView(footer + 8, 16) != BlockMagic)
        return layout;
    // The size field counts the block without the leading size field itself.
    const quint64 size = LittleEndianCursor(QByteArrayView(footer, BlockFooterSize)).u64At(0);
    if (size < BlockFooterSize || size > MaxBlockSize || size > quint64(cd - 8)) {
        layout.error = {FailureCode::SigningBlockMalformed};
        return layout;
    }
    layout.blockOffset = cd - qint64(size) - 8;
    layout.block.resize(qsizetype(size + 8));
    if (!file.readAt(layout.blockOffset, layout.block.data(), layout.block.size()))
        layout.error = {FailureCode::FileUnreadable};
    return layout;
}
