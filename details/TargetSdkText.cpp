#include "TargetSdkText.h"

#include "apk/PlayTargetSdk.h"

QString TargetSdkText(const QString &targetSdk, QDate today)
{
    bool number = false;
    const int level = targetSdk.toInt(&number);
    const QString note = number ? PlayTargetSdkNote(level, today) : QString();
    return note.isEmpty() ? targetSdk : QStringLiteral("%1（%2）").arg(targetSdk, note);
}

QString PlayTargetSdkNote(int level, QDate today)
{
    const int forNew = RequiredTargetSdk(today, PlaySubmission::NewApp);
    const int forUpdate = RequiredTargetSdk(today, PlaySubmission::AppUpdate);
    // Updates never need more than new apps do, so below theirs is below both.
    QString note;
    if (level < forUpdate && forUpdate == forNew)
        note = QStringLiteral("低于 Google Play 对新应用和更新的要求（API %1）").arg(forNew);
    else if (level < forUpdate)
        note = QStringLiteral("低于 Google Play 对新应用（API %1）和更新（API %2）的要求")
                   .arg(forNew)
                   .arg(forUpdate);
    else if (level < forNew)
        note = QStringLiteral("低于 Google Play 对新应用的要求（API %1）").arg(forNew);
    return note;
}
