#include "NativeLibraries.h"

#include "archive/ZipArchive.h"
#include "formats/Formats.h"

namespace {

constexpr quint64 LargePage = 16384;
// The ELF header and program headers of a real library fit the first read; a second, longer
// one covers tables placed further in, and nothing beyond it is read.
constexpr qint64 FirstRead = 1024;
constexpr qint64 LongestRead = 64 << 10;

bool Is64Bit(const QByteArray &abi)
{
    return abi == "arm64-v8a" || abi == "x86_64" || abi == "riscv64";
}

// "lib/<abi>/<name>.so", the only place the package installer takes libraries from.
std::optional<QByteArray> AbiOf(const QByteArray &path)
{
    const QList<QByteArray> parts = path.split('/');
    if (parts.size() != 3 || parts[0] != "lib" || parts[1].isEmpty() || parts[2].size() <= 3 ||
        !parts[2].endsWith(".so"))
        return std::nullopt;
    return parts[1];
}

std::optional<quint64> LoadAlignment(const ZipArchive &archive, const QByteArray &path, qint64 size)
{
    for (const qint64 length : {FirstRead, LongestRead}) {
        if (const std::optional<QByteArray> start = archive.readEntryStart(path, length)) {
            if (std::optional<quint64> alignment = ReadSmallestLoadAlignment(*start).value)
                return alignment;
        }
        if (size <= length)
            break;
    }
    return std::nullopt;
}

bool IsPowerOfTwo(quint64 value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

} // namespace

std::optional<QList<NativeLibrary>> ReadNativeLibraries(const ZipArchive &archive)
{
    if (!archive.isOpen())
        return std::nullopt;
    QList<NativeLibrary> libraries;
    for (const QByteArray &path : archive.entryNames("lib/")) {
        const std::optional<QByteArray> abi = AbiOf(path);
        const std::optional<qint64> size = abi ? archive.entrySize(path) : std::nullopt;
        if (!size)
            continue;
        NativeLibrary library{*abi, path, *size};
        const std::optional<EntryPlacement> placement = archive.placement(path);
        library.stored = placement && placement->stored;
        if (Is64Bit(library.abi)) {
            // Without libelf's reading no 64-bit library's readiness is known, and a verdict
            // over them would be a guess.
            if (FormatReadersUnavailable().failed())
                return std::nullopt;
            const std::optional<quint64> alignment = LoadAlignment(archive, path, library.size);
            library.loadAlignment = alignment.value_or(0);
            // An alignment that is no power of two is no alignment a loader honours.
            library.segmentsAligned =
                alignment && IsPowerOfTwo(*alignment) && *alignment >= LargePage;
            // A stored library is mapped straight from the package, so its data must start on
            // a page; one whose place is unknown cannot be shown to.
            library.dataAligned =
                placement && (!placement->stored || placement->dataOffset % LargePage == 0);
            library.ready16k = !alignment ? PageReadiness::Unreadable
                               : library.segmentsAligned && library.dataAligned
                                   ? PageReadiness::Ready
                                   : PageReadiness::NotReady;
        }
        libraries.append(library);
    }
    return libraries;
}

std::optional<bool> Ready16k(const NativeLibrary &library)
{
    if (library.ready16k == PageReadiness::NotApplicable)
        return std::nullopt;
    return library.ready16k == PageReadiness::Ready;
}

PageSizeSummary SummarizePageSize(const QList<NativeLibrary> &libraries)
{
    PageSizeSummary summary;
    for (const NativeLibrary &library : libraries) {
        if (library.ready16k == PageReadiness::NotApplicable)
            continue;
        if (library.ready16k != PageReadiness::Ready)
            ++summary.notReady;
        summary.support =
            summary.notReady > 0 ? PageSizeSupport::Incompatible : PageSizeSupport::Compatible;
    }
    return summary;
}

QString PageSizeSupportName(PageSizeSupport support)
{
    switch (support) {
    case PageSizeSupport::Compatible:
        return QStringLiteral("compatible");
    case PageSizeSupport::Incompatible:
        return QStringLiteral("incompatible");
    case PageSizeSupport::None:
        break;
    }
    return QStringLiteral("none");
}
