#include "LocalPath.h"

#include <QFile>
#include <QList>
#include <QMimeData>
#include <QUrl>

QByteArray LocalPathFromUri(QByteArrayView uri)
{
    constexpr QByteArrayView scheme = "file:";
    if (uri.size() < scheme.size() || uri.first(scheme.size()).toByteArray().toLower() != scheme)
        return {};
    QByteArrayView rest = uri.sliced(scheme.size());
    // Query and fragment are not part of a file's name.
    for (const char stop : {'?', '#'})
        if (const qsizetype at = rest.indexOf(stop); at >= 0)
            rest = rest.first(at);
    if (rest.startsWith("//")) {
        rest = rest.sliced(2);
        const qsizetype slash = rest.indexOf('/');
        const QByteArrayView host = slash < 0 ? rest : rest.first(slash);
        if (!host.isEmpty() && host.toByteArray().toLower() != "localhost")
            return {};
        rest = slash < 0 ? QByteArrayView() : rest.sliced(slash);
    }
    if (!rest.startsWith('/'))
        return {};
    const QByteArray path = QByteArray::fromPercentEncoding(rest.toByteArray());
    // A NUL cannot be part of a name; one decoded from "%00" would cut it short.
    return path.contains('\0') ? QByteArray() : path;
}

QByteArray FirstDroppedPath(const QMimeData &data)
{
    const QString uriList = QStringLiteral("text/uri-list");
    if (!data.hasFormat(uriList)) {
        const QList<QUrl> urls = data.urls();
        return urls.isEmpty() ? QByteArray() : QFile::encodeName(urls.first().toLocalFile());
    }
    for (const QByteArray &line : data.data(uriList).split('\n')) {
        const QByteArray uri = line.trimmed();
        if (uri.isEmpty() || uri.startsWith('#'))
            continue;
        return LocalPathFromUri(uri);
    }
    return {};
}
