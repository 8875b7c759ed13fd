#include "Formats.h"

#include "FormatModule.h"

namespace {

// Runs `read` on the module's readers, or says why there are none.
template <typename T, typename Read> FormatReading<T> WithReaders(Read read)
{
    const FormatReaders *readers = FormatModule();
    if (!readers)
        return {std::nullopt, FormatModuleProblem()};
    return {read(*readers), {}};
}

} // namespace

void PrepareFormatReaders()
{
    PrepareFormatModule();
}

QString FormatReadersUnavailable()
{
    return FormatModule() ? QString() : FormatModuleProblem();
}

FormatReading<ApkManifest> ReadBinaryManifest(QByteArrayView xml)
{
    return WithReaders<ApkManifest>(
        [xml](const FormatReaders &readers) { return readers.readManifest(xml); });
}

FormatReading<AdaptiveIconXml> ReadBinaryAdaptiveIcon(QByteArrayView xml)
{
    return WithReaders<AdaptiveIconXml>(
        [xml](const FormatReaders &readers) { return readers.readAdaptiveIcon(xml); });
}

FormatReading<std::unique_ptr<const ResourceTable>> LoadLibandroidfwTable(const QByteArray &table)
{
    return WithReaders<std::unique_ptr<const ResourceTable>>(
        [&table](
            const FormatReaders &readers) -> std::optional<std::unique_ptr<const ResourceTable>> {
            std::unique_ptr<const ResourceTable> loaded = readers.loadTable(table);
            if (!loaded)
                return std::nullopt;
            return loaded;
        });
}

FormatReading<ApkSetToc> ReadApkSetToc(const QByteArray &bytes)
{
    return WithReaders<ApkSetToc>(
        [&bytes](const FormatReaders &readers) { return readers.parseApkSetToc(bytes); });
}

FormatReading<quint64> ReadSmallestLoadAlignment(const QByteArray &start)
{
    return WithReaders<quint64>(
        [&start](const FormatReaders &readers) { return readers.smallestLoadAlignment(start); });
}

FormatReading<QImage> ReadScaledWebp(const QByteArray &webp, QSize size)
{
    return WithReaders<QImage>(
        [&webp, size](const FormatReaders &readers) -> std::optional<QImage> {
            QImage image = readers.decodeScaledWebp(webp, size);
            if (image.isNull())
                return std::nullopt;
            return image;
        });
}
