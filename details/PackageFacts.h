#pragma once

#include "apk/PackageIcon.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the badging tool says about a package beyond the main window's four values, as shown.
// Each stays empty when the tool does not say it.
struct PackageFacts
{
    QString label;        // application-label, then the zh-CN one when it differs
    QString defaultLabel; // application-label alone
    QString packageName;
    QString versionName;
    QString versionCode;
    QString minSdk;
    QString targetSdk;
    QString compileSdk;          // with its codename when that differs
    QString compileSdkVersion;   // the number alone
    QStringList permissions;     // each name once, then "(maxSdkVersion N)" when given
    QStringList permissionNames; // the same names alone
    QStringList nativePlatforms; // native-code, then alt-native-code ABIs, each once
    QList<IconEntry> icons;      // in the tool's order
};

// Reads the tool's output line by line; the first line of each kind counts.
PackageFacts ReadPackageFacts(const QByteArray &toolOutput);

// The label as shown: the default one, then the Chinese one when that differs.
QString ShownLabel(const QString &label, const QString &chinese);
// A permission as shown: its name, then "(maxSdkVersion N)" when it has one.
QString PermissionText(const QString &name, const QString &maxSdk);
