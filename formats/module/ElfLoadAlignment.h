#pragma once

#include <QByteArray>
#include <optional>

// The smallest alignment among the loadable (PT_LOAD) segments of the ELF file whose first bytes
// are `start`, read by libelf from memory. `start` need only reach the end of the program header
// table. Nothing when it is not an ELF file, its program headers lie beyond `start`, or it has no
// loadable segment.
std::optional<quint64> SmallestLoadAlignment(QByteArray start);
