#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QMimeData;

// The local file a `file:` URI names, as the file system's bytes: percent escapes are decoded
// to bytes, not to text, so a name that is not UTF-8 survives. "localhost" counts as no host.
// Empty for anything that is not a local file URI.
QByteArray LocalPathFromUri(QByteArrayView uri);

// The first file of a drag as the file system's bytes, read from the raw text/uri-list (its
// comment lines skipped): QUrl would turn a name that is not UTF-8 into text and lose bytes.
// Empty when the first item is not a local file.
QByteArray FirstDroppedPath(const QMimeData &data);
