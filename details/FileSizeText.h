#pragma once

#include <QString>

// A count with its digits grouped by commas, whatever the locale ("45,623,301").
QString GroupedDigits(qint64 number);

// A file's length for people: every byte, grouped by commas whatever the locale, then the size
// in the largest binary unit it reaches, to one decimal ("45,623,301 字节 (43.5 MiB)").
QString FileSizeText(qint64 bytes);
