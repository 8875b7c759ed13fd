#pragma once

#include <QByteArrayView>
#include <QStringView>

// The extension of a path: the text from its last "." to the end, where a later "/" or blank
// cancels a "." seen before it. Empty when there is none, so "app.apk (1)" and "dir.d/readme"
// have no extension while "my file.apk" has ".apk".
QStringView FindExtension(QStringView path);

enum class ExtensionCheck
{
    Accepted,  // an extension that starts with ".apk" or ".xapk" (case-sensitive): ".apkx" passes
    WrongType, // some other extension
    Missing,   // no extension at all: a folder, "readme", "app.apk (1)"
};

// What the extension of `path` (the name's bytes, shown as UTF-8) says, read once.
struct PackageName
{
    ExtensionCheck check = ExtensionCheck::Missing; // whether to inspect it
    // Named as a bundle of APKs (".apks", ".apkm", ".xapk"), which is opened to find its base;
    // anything else that passes goes to the tool as it is.
    bool bundle = false;
};
PackageName ReadPackageName(QByteArrayView path);
