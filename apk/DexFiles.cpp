#include "DexFiles.h"

#include "archive/ZipArchive.h"

QList<QByteArray> LoadedDexNames(const ZipArchive &archive)
{
    QList<QByteArray> names;
    // A ZIP without ZIP64 holds at most 65,535 entries, so the loop ends well before the index
    // could wrap.
    for (qsizetype index = 1;; ++index) {
        QByteArray name =
            index == 1 ? QByteArray("classes.dex") : "classes" + QByteArray::number(index) + ".dex";
        if (!archive.record(name))
            return names;
        names.append(std::move(name));
    }
}

QList<DexFile> ReadDexFiles(const ZipArchive &archive)
{
    QList<DexFile> files;
    for (const QByteArray &name : LoadedDexNames(archive)) {
        const qint64 size = archive.record(name)->uncompressedSize;
        const std::optional<QByteArray> start = archive.readEntryStart(name, DexHeaderBytes);
        files.append({name, size,
                      start ? ParseDexHeader(*start, size)
                            : DexHeaderReading{std::nullopt, {FailureCode::DexUnreadable}}});
    }
    return files;
}
