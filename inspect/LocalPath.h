#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The local file a `file:` URI names, as the file system's bytes: percent escapes are decoded
// to bytes, not to text, so a name that is not UTF-8 survives. "localhost" counts as no host.
// Empty for anything that is not a local file URI.
QByteArray LocalPathFromUri(QByteArrayView uri);

// The local file named by the first URI of a text/uri-list (comment lines skipped); empty when
// that URI is not a local file.
QByteArray FirstLocalPathOfUriList(QByteArrayView uriList);
