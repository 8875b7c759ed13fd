#include "DetailsSection.h"

QString DetailsText(const QList<DetailsSection> &sections)
{
    QString text;
    for (const DetailsSection &section : sections) {
        if (!section.title.isEmpty())
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                    QStringLiteral("【%1】\n").arg(section.title);
        for (const DetailsRow &row : section.rows) {
            text += row.label + u':';
            if (row.isList) {
                text += u'\n';
                for (const QString &item : row.value.split(u'\n', Qt::SkipEmptyParts))
                    text += QStringLiteral("  %1\n").arg(item);
            } else {
                text += (row.value.isEmpty() ? QString() : QStringLiteral(" ") + row.value) + u'\n';
            }
        }
    }
    return text;
}
