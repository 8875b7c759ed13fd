#include "StringTable.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

QString LoadResourceString(int id)
{
    QFile file(QStringLiteral(":/res/strings.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(QString::number(id)).toString();
}
