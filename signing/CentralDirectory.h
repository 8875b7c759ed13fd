#pragma once

#include <QByteArrayView>

// Whether the ZIP central directory `bytes` may list a JAR signature file (META-INF/*.SF). A
// directory that does not parse may, so that libzip has the last word on it. Opening a package
// with libzip costs a local-time conversion per entry; a package without JAR signatures is
// spared that.
bool MayHoldJarSignature(QByteArrayView bytes);
