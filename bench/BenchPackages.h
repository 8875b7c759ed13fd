#pragma once

#include <QString>
#include <QStringList>

// Writes `size` bytes of pseudo-random data (incompressible, the same every run) to `path`.
// Returns the path; stops the benchmark when the file cannot be written.
QString MakeRandomFile(const QString &path, qint64 size);

// Builds a real package with the system's aapt: a small manifest and one asset of `assetSize`
// random bytes, stored uncompressed as a large asset is in real packages. Returns its path;
// stops the benchmark when aapt fails.
QString BuildLargePackage(const QString &directory, const QString &fileName, qint64 assetSize);

// A key and certificate for apksigner, made with openssl in `directory`.
struct BenchKey
{
    QString pk8;
    QString certificate;
};
BenchKey MakeBenchKey(const QString &directory);

// Signs `input` into `output` with apksigner, its default schemes plus `options`; stops the
// benchmark when apksigner fails.
void SignBenchPackage(const BenchKey &key, const QString &input, const QString &output,
                      const QStringList &options = {});
