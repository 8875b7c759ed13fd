// libFuzzer target: any bytes taken for a DEX entry, the whole entry being the input, must give
// a header or a reason without a crash, and a header only when every table its counts describe
// lies inside the entry, so that no count is larger than the entry's size allows.
#include "Require.h"
#include "apk/DexHeader.h"

#include <QByteArrayView>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView entry(data, qsizetype(size));
    const DexHeaderReading reading =
        ParseDexHeader(entry.first(qMin(entry.size(), DexHeaderBytes)), qint64(size));
    Require(reading.header.has_value() != reading.problem.failed());
    if (!reading.header)
        return 0;
    const DexHeader &header = *reading.header;
    Require(header.version >= 0 && header.version <= 99);
    // The smallest item of each table: a string, field and method reference, a class.
    Require(quint64(header.strings) * 4 <= size && quint64(header.fields) * 8 <= size &&
            quint64(header.methods) * 8 <= size && quint64(header.classes) * 32 <= size);
    NearsMethodLimit(header.methods);
    return 0;
}
