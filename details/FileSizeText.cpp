#include "FileSizeText.h"

#include <array>

QString GroupedDigits(qint64 number)
{
    QString digits = QString::number(number);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return digits;
}

QString FileSizeText(qint64 bytes)
{
    QString text = GroupedDigits(bytes) + QStringLiteral(" 字节");

    static constexpr std::array<const char *, 4> Units = {"KiB", "MiB", "GiB", "TiB"};
    double scaled = double(bytes);
    int unit = -1;
    // 1023.95 KiB would print as "1024.0 KiB"; one unit up it is "1.0 MiB".
    while (unit + 1 < int(Units.size()) && scaled >= 1023.95) {
        scaled /= 1024;
        ++unit;
    }
    if (unit >= 0)
        text += QStringLiteral(" (%1 %2)")
                    .arg(QString::number(scaled, 'f', 1), QLatin1String(Units[unit]));
    return text;
}
