#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class ZipArchive;

// Whether a native library loads on a device with 16 KB memory pages.
enum class PageReadiness
{
    Ready,
    NotReady,
    NotApplicable, // a 32-bit ABI: such devices run 64-bit code only
    Unreadable     // not an ELF file with loadable segments
};

// One `lib/<abi>/<name>.so` entry of a package.
struct NativeLibrary
{
    QByteArray abi;
    QByteArray path;
    qint64 size = 0;     // uncompressed
    bool stored = false; // false also when how it is kept is not known
    // For a 64-bit ABI: the smallest PT_LOAD alignment (0 when the ELF headers could not be
    // read), whether that is 16 KB or more, and whether the data is either compressed or starts
    // on a 16 KB boundary in the package (false when where it starts is not known).
    quint64 loadAlignment = 0;
    bool segmentsAligned = false;
    bool dataAligned = false;
    PageReadiness ready16k = PageReadiness::NotApplicable;
};

// Every native library of the package open in `archive`, in the archive's order. Reads only the
// start of each library, up to its program headers, in memory, with libelf in the formats
// module. Nothing when the archive is not open, or when it holds a 64-bit library and the module
// cannot be loaded.
std::optional<QList<NativeLibrary>> ReadNativeLibraries(const ZipArchive &archive);

// Ready for 16 KB pages as a report says it: true, false, or nothing (null) for a 32-bit ABI.
// A library that cannot be read is not ready.
std::optional<bool> Ready16k(const NativeLibrary &library);

enum class PageSizeSupport
{
    Compatible,   // every 64-bit library is ready
    Incompatible, // some 64-bit library is not ready or cannot be read
    None          // no 64-bit library at all
};

struct PageSizeSummary
{
    PageSizeSupport support = PageSizeSupport::None;
    int notReady = 0; // 64-bit libraries that are not ready or cannot be read

    bool operator==(const PageSizeSummary &) const = default;
};

PageSizeSummary SummarizePageSize(const QList<NativeLibrary> &libraries);
// "compatible", "incompatible" or "none", as a report names them.
QString PageSizeSupportName(PageSizeSupport support);
