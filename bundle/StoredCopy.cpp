#include "StoredCopy.h"

#include "digest/SafeFile.h"

#include <algorithm>

StoredCopy::StoredCopy(qint64 offset, qint64 size)
    : copy("pelmora-inner-apk"), from(offset), size(size)
{
    failed = !copy.isOpen();
    if (size == 0)
        sealed = !failed && copy.seal();
}

void StoredCopy::feed(qint64 offset, const unsigned char *data, std::size_t count)
{
    const qint64 wanted = from + copy.size();
    const qint64 end = offset + qint64(count);
    // A piece that starts past the next byte wanted leaves a gap, which completeFrom fills.
    if (failed || sealed || end <= wanted || offset > wanted)
        return;
    const qint64 taken = std::min(end, from + size) - wanted;
    failed = !copy.append(reinterpret_cast<const char *>(data) + (wanted - offset), taken);
    if (!failed && copy.size() == size) {
        sealed = copy.seal();
        failed = !sealed;
    }
}

bool StoredCopy::completeFrom(const SafeFile &file)
{
    if (sealed)
        return true;
    if (!failed && file.isOpen() &&
        copy.appendFrom(file.descriptor(), file.origin() + from + copy.size(), size - copy.size()))
        sealed = copy.seal();
    return sealed;
}
