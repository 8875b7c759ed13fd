#pragma once

#include <QStringView>

// The extension of a path: the text from its last "." to the end, where a later "/" or blank
// cancels a "." seen before it. Empty when there is none, so "app.apk (1)" and "dir.d/readme"
// have no extension while "my file.apk" has ".apk".
QStringView FindExtension(QStringView path);
