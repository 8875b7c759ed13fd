#pragma once

#include <QString>

// Writes `size` bytes of pseudo-random data (incompressible, the same every run) to `path`.
// Returns the path; stops the benchmark when the file cannot be written.
QString MakeRandomFile(const QString &path, qint64 size);

// Builds a real package with the system's aapt: a small manifest and one asset of `assetSize`
// random bytes, stored uncompressed as a large asset is in real packages. Returns its path;
// stops the benchmark when aapt fails.
QString BuildLargePackage(const QString &directory, const QString &fileName, qint64 assetSize);
