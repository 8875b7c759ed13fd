#include "EntryReading.h"

#include "ZipDirectory.h"

#include <libdeflate.h>

EntryReading::EntryReading(const ZipDirectoryEntry &record,
                           std::function<void(const char *, qint64)> consume)
    : inflater(record.method == 0), consume(std::move(consume)),
      declaredSize(record.uncompressedSize), declaredCrc(record.crc)
{
}

bool EntryReading::feed(const char *data, qint64 size)
{
    if (overlong)
        return false;
    return inflater.feed(data, size, [this](const char *bytes, qint64 count) {
        // An entry longer than it said stops here, before a byte too many is handed on.
        if (count > declaredSize - total) {
            overlong = true;
            return false;
        }
        total += count;
        crc = libdeflate_crc32(crc, bytes, std::size_t(count));
        consume(bytes, count);
        return true;
    });
}

bool EntryReading::finish() const
{
    return !inflater.corrupt() && !overlong && total == declaredSize && crc == declaredCrc;
}
