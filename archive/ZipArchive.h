#pragma once

#include "EntryInflater.h"
#include "ZipDirectory.h"
#include "ZipEndRecord.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class EntryReading;
class SafeFile;
struct zip;

// Uncompressed bytes that the archives sharing it may still hand out: one package, or a bundle
// and every APK read out of it. Readers on several threads may draw on it at once; a reader that
// must see its draws in an order of its own hands its archives a budget that keeps that order.
struct InflateBudget
{
    explicit InflateBudget(qint64 bytes = 0) : left(bytes) {}
    virtual ~InflateBudget() = default;
    // Takes `size` bytes; false, and exhausted from then on, when fewer are left.
    virtual bool take(qint64 size);
    virtual qint64 remaining() const { return left; }
    // Hands back bytes taken for reads whose results are thrown away unseen; a refusal stays.
    void giveBack(qint64 size) { left += size; }
    // Whether a read was refused for want of it.
    bool exhausted() const { return refused; }

protected:
    std::atomic<bool> refused = false;

private:
    std::atomic<qint64> left;
};

// Where an entry's bytes lie in the file and how they are kept there.
struct EntryPlacement
{
    bool stored = false;   // kept uncompressed, so the file holds the entry's bytes as they are
    qint64 dataOffset = 0; // where its data starts: past its local header, name and extra field
};

// The entries of a package's ZIP archive, read through libzip from a file that is already open
// (so the safe open's promises hold: no FIFO hangs, nothing is created). Read-only: nothing is
// ever written back.
//
// It opens only an archive that reads one way: the end record Android takes, the central
// directory that record points at, each entry's local header agreeing with its record in name
// and sizes, no entry sharing or overlapping another's data, and libzip seeing those same
// entries. Entries are read as Android reads them: the central directory's method decides, so
// a stored entry is its data and any other method is inflated as deflate. Every reader of the
// package goes through it, so none sees entries or bytes that Android would not.
class ZipArchive
{
public:
    // Reads draw on `budget` when one is given, shared with other archives; otherwise on one of
    // this archive's own, sized by the file.
    explicit ZipArchive(const SafeFile &file, std::shared_ptr<InflateBudget> budget = nullptr);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // Call once at the program's start, before any archive opens. libzip turns each entry's
    // DOS time into a time_t, and with TZ unset glibc checks /etc/localtime on every such
    // conversion: 7,600 system calls, 13 ms, for framework-res.apk. Naming that same zone file
    // in TZ keeps the local time and makes it one check.
    static void NameTimeZoneFile();

    // Whether the archive opened; a truncated, damaged or ambiguous one is not open.
    bool isOpen() const { return archive != nullptr; }
    // Why it is not open; no failure while it is.
    const Failure &problem() const { return why; }
    // The end record it was opened by; meaningful only while open.
    const EndRecord &endRecord() const { return end; }
    // Where the data of the entries ends; anything between there and the central directory
    // (a signing block) belongs to no entry.
    qint64 dataEnd() const { return entriesEnd; }
    // Whether a read was refused because the archive's entries would inflate past the limit.
    bool inflateLimitReached() const { return limitReached; }

    // Uncompressed bytes handed out per archive, all readers together, are capped at
    // MaxInflatedBase + InflatedPerFileByte bytes for each byte of the file: real packages
    // inflate to a few times their size, a deflate bomb to a thousand.
    static constexpr qint64 MaxInflatedBase = qint64(128) << 20;
    static constexpr qint64 InflatedPerFileByte = 32;
    // What this archive's reads draw on, to hand to archives read out of it.
    const std::shared_ptr<InflateBudget> &inflateBudget() const { return budget; }
    // The names of all entries that start with `prefix`, in the central directory's order.
    QList<QByteArray> entryNames(QByteArrayView prefix = {}) const;
    // The uncompressed size that entry `name` declares; nothing when it is missing.
    std::optional<qint64> entrySize(const QByteArray &name) const;
    // The uncompressed bytes of entry `name`; nothing when it is missing, larger than `maxSize`
    // once uncompressed, past the inflate limit, or cannot be read whole (corrupt data, a
    // checksum that does not match).
    std::optional<QByteArray> readEntry(const QByteArray &name, qint64 maxSize) const;
    // The first `count` uncompressed bytes of entry `name`, or all of them when it is shorter,
    // for headers at an entry's start. Nothing when it is missing or those bytes cannot be read.
    // The checksum covers the whole entry, so these bytes go unchecked.
    std::optional<QByteArray> readEntryStart(const QByteArray &name, qint64 count) const;
    // How entry `name` is kept and where its data starts; nothing when it is missing.
    std::optional<EntryPlacement> placement(const QByteArray &name) const;
    // The directory's record of entry `name`; nothing when it is missing.
    const ZipDirectoryEntry *record(const QByteArray &name) const;
    // Reads the entry of `record` (this archive's) from its data as the file keeps it, fed by the
    // caller (a read of the whole file going by), with every check readEntry makes; `consume`
    // gets its bytes. Its size is drawn from the inflate budget first (`drawFrom` when given):
    // nothing when past the limit (inflateLimitReached() then says so). Calls nothing in libzip,
    // so it may run beside another thread's reads of this archive.
    std::unique_ptr<EntryReading>
    readFed(const ZipDirectoryEntry &record,
            const std::function<void(const char *data, qint64 size)> &consume,
            InflateBudget *drawFrom = nullptr) const;

private:
    // Refuses an entry declared larger than `maxSize` (none when negative) or than what the
    // inflate limit leaves before reading it, and is true only when exactly the declared bytes
    // came and checked out.
    bool readPieces(const QByteArray &name, qint64 maxSize,
                    const std::function<void(const char *, qint64)> &consume) const;
    // Draws the entry's declared size from `drawFrom`, or this archive's budget when null; false,
    // noting the limit, when it is spent.
    bool drawBudget(const ZipDirectoryEntry &entry, InflateBudget *drawFrom = nullptr) const;
    // Hands entry `index`'s data as the file keeps it to `raw` in pieces of at most `pieceSize`
    // bytes until it returns false. False when libzip cannot read it.
    bool readRaw(qsizetype index, const std::function<bool(const char *, qint64)> &raw,
                 qsizetype pieceSize = EntryInflater::DefaultPieceSize) const;
    // The entry's index, libzip's and the directory's alike; nothing when it is missing.
    std::optional<qsizetype> indexOf(const QByteArray &name) const;
    // Opens libzip over `file` once our own reading of the archive holds.
    void open(const SafeFile &file);

    zip *archive = nullptr;
    QList<ZipDirectoryEntry> entries; // libzip's index order, which is the directory's
    // Each name's index. libzip 1.9 and later look raw names up one entry after another, which
    // would make every reader that goes through a package's entries by name take time in their
    // square.
    QHash<QByteArray, qsizetype> indexByName;
    Failure why;
    EndRecord end;
    qint64 entriesEnd = 0;
    std::shared_ptr<InflateBudget> budget;
    mutable std::atomic<bool> limitReached = false;
};
