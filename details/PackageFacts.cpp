#include "PackageFacts.h"

#include "base/NarrowText.h"
#include "inspect/BadgingLine.h"

#include <QSet>

namespace {

void AppendOnce(QStringList &list, QSet<QByteArray> &seen, const QByteArray &key,
                const QString &text)
{
    if (!seen.contains(key)) {
        seen.insert(key);
        list.append(text);
    }
}

QString FirstValue(const BadgingLine &line)
{
    return line.values.isEmpty() ? QString() : FromNarrow(line.values.first());
}

} // namespace

PackageFacts ReadPackageFacts(const QByteArray &toolOutput)
{
    PackageFacts facts;
    bool packageSeen = false;
    QString label, chineseLabel;
    QSet<QByteArray> permissionsSeen, platformsSeen;
    const QByteArrayView iconPrefix("application-icon-");

    for (const QByteArray &text : toolOutput.split('\n')) {
        const BadgingLine line = ParseBadgingLine(text);
        const QByteArray &key = line.key;
        if (key == "package" && !packageSeen) {
            packageSeen = true;
            facts.packageName = FromNarrow(line.attribute("name"));
            facts.versionCode = FromNarrow(line.attribute("versionCode"));
            facts.versionName = FromNarrow(line.attribute("versionName"));
            facts.compileSdk = FromNarrow(line.attribute("compileSdkVersion"));
            facts.compileSdkVersion = facts.compileSdk;
            const QString codename = FromNarrow(line.attribute("compileSdkVersionCodename"));
            if (!facts.compileSdk.isEmpty() && !codename.isEmpty() && codename != facts.compileSdk)
                facts.compileSdk += QStringLiteral(" (%1)").arg(codename);
        } else if (key == "sdkVersion" && facts.minSdk.isEmpty()) {
            facts.minSdk = FirstValue(line);
        } else if (key == "targetSdkVersion" && facts.targetSdk.isEmpty()) {
            facts.targetSdk = FirstValue(line);
        } else if (key == "application-label" && label.isEmpty()) {
            label = FirstValue(line);
        } else if (key == "application-label-zh-CN" && chineseLabel.isEmpty()) {
            chineseLabel = FirstValue(line);
        } else if (key == "uses-permission" || key == "uses-permission-sdk-23") {
            const QByteArray name = line.attribute("name");
            const QByteArray maxSdk = line.attribute("maxSdkVersion");
            if (!name.isEmpty() && !permissionsSeen.contains(name)) {
                facts.permissionNames.append(FromNarrow(name));
                AppendOnce(facts.permissions, permissionsSeen, name,
                           PermissionText(FromNarrow(name), FromNarrow(maxSdk)));
            }
        } else if (key == "native-code" || key == "alt-native-code") {
            for (const QByteArray &abi : line.values)
                AppendOnce(facts.nativePlatforms, platformsSeen, abi, FromNarrow(abi));
        } else if (key.startsWith(iconPrefix) && !line.values.isEmpty()) {
            bool isNumber = false;
            const int density = key.sliced(iconPrefix.size()).toInt(&isNumber);
            if (isNumber)
                facts.icons.append({density, line.values.first()});
        }
    }
    facts.label = ShownLabel(label, chineseLabel);
    facts.defaultLabel = label;
    return facts;
}

QString ShownLabel(const QString &label, const QString &chinese)
{
    if (chinese.isEmpty() || chinese == label)
        return label;
    return label.isEmpty() ? chinese : label + QStringLiteral(" / ") + chinese;
}

QString PermissionText(const QString &name, const QString &maxSdk)
{
    return maxSdk.isEmpty() ? name : QStringLiteral("%1 (maxSdkVersion %2)").arg(name, maxSdk);
}
