#pragma once

#include "digest/Digest.h"

#include <QByteArray>
#include <QHash>
#include <QList>

// One section of a JAR manifest or signature file: its raw bytes (through the blank line that
// ends it), which is what a signature file's per-entry digests cover, and its attributes.
struct JarSection
{
    QByteArray raw;
    QList<std::pair<QByteArray, QByteArray>> attributes;

    // The value of attribute `key` (compared without case); null when it is absent.
    QByteArray value(QByteArrayView key) const;
    // The digests named `<algorithm><suffix>` whose algorithm is known here, base64-decoded.
    QList<std::pair<DigestAlgorithm, QByteArray>> digests(QByteArrayView suffix) const;
};

struct JarManifest
{
    JarSection main;
    QList<JarSection> entries;
    QHash<QByteArray, qsizetype> entryByName; // the first section of each "Name:"
};

// Lines may end in CR LF, LF or CR; a line starting with one space continues the one before.
JarManifest ParseJarManifest(const QByteArray &bytes);
