#include "ZipEndRecord.h"

#include "base/LittleEndianCursor.h"

namespace {

constexpr qint64 EndRecordSize = 22;
constexpr quint32 EndRecordSignature = 0x06054b50;
constexpr quint32 Zip64LocatorSignature = 0x07064b50;
constexpr qint64 Zip64LocatorSize = 20;

enum class Candidate
{
    None,
    Zip64,
    Detached, // its central directory does not end where it begins
    Record
};

// Whether an end record starts at `at`: its signature, its comment running to the tail's end
// and its central directory ending where it begins.
Candidate ReadCandidate(QByteArrayView tail, qint64 tailOffset, qint64 at, EndRecord &record)
{
    const LittleEndianCursor fields(tail);
    if (fields.u32At(at) != EndRecordSignature)
        return Candidate::None;
    const quint16 commentSize = fields.u16At(at + 20);
    if (at + EndRecordSize + commentSize != tail.size())
        return Candidate::None;
    const quint16 disk = fields.u16At(at + 4);
    const quint16 entries = fields.u16At(at + 10);
    const quint32 size = fields.u32At(at + 12);
    const quint32 offset = fields.u32At(at + 16);
    const bool locatorBefore =
        at >= Zip64LocatorSize && fields.u32At(at - Zip64LocatorSize) == Zip64LocatorSignature;
    if (disk == 0xffff || entries == 0xffff || size == 0xffffffff || offset == 0xffffffff ||
        locatorBefore)
        return Candidate::Zip64;
    record = {tailOffset + at, offset, size, entries, commentSize};
    return record.centralDirectoryOffset + record.centralDirectorySize == record.offset
               ? Candidate::Record
               : Candidate::Detached;
}

} // namespace

std::optional<EndRecord> FindEndRecord(QByteArrayView tail, qint64 tailOffset, Failure &error)
{
    error = {FailureCode::ZipDamaged};
    std::optional<EndRecord> found;
    for (qint64 at = tail.size() - EndRecordSize; at >= 0; --at) {
        EndRecord record;
        const Candidate candidate = ReadCandidate(tail, tailOffset, at, record);
        if (candidate == Candidate::None)
            continue;
        if (found) {
            if (candidate != Candidate::Record)
                continue;
            error = {FailureCode::ZipSeveralEndRecords};
            return std::nullopt;
        }
        if (candidate == Candidate::Zip64) {
            error = {FailureCode::Zip64Unsupported};
            return std::nullopt;
        }
        if (candidate == Candidate::Detached)
            return std::nullopt;
        found = record;
    }
    if (found)
        error = {};
    return found;
}
