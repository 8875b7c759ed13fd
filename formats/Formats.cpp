#include "Formats.h"

#include "FormatModule.h"

namespace {

// Runs `read` on the module's readers, or gives why there are none; `sayMissing`: whether a
// module that cannot be loaded is said through the program's complaint (once), as a reading
// that has no other way says it.
template <typename T, typename Read> FormatReading<T> WithReaders(Read read, bool sayMissing = true)
{
    PrepareFormatModule();
    if (const Failure problem = FormatModuleProblem(); problem.failed()) {
        if (sayMissing)
            FormatModule();
        return {std::nullopt, problem};
    }
    return {read(*FormatModule()), {}};
}

} // namespace

void PrepareFormatReaders()
{
    PrepareFormatModule();
}

Failure FormatReadersUnavailable()
{
    return FormatModule() ? Failure() : FormatModuleProblem();
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
        },
        false);
}

FormatReading<XmlDocument> ReadBinaryXmlDocument(QByteArrayView xml)
{
    return WithReaders<XmlDocument>(
        [xml](const FormatReaders &readers) { return readers.readXmlDocument(xml); });
}
