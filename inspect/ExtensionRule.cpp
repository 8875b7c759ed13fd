#include "ExtensionRule.h"

#include "base/NarrowText.h"

QStringView FindExtension(QStringView path)
{
    qsizetype dot = -1;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path[i];
        if (c == u'.')
            dot = i;
        else if (c == u'/' || c == u' ')
            dot = -1;
    }
    return dot < 0 ? QStringView() : path.sliced(dot);
}

ExtensionCheck CheckExtension(QByteArrayView path)
{
    const QString shown = FromNarrow(path);
    const QStringView extension = FindExtension(shown);
    if (extension.isEmpty())
        return ExtensionCheck::Missing;
    // Only the first characters count.
    return extension.startsWith(u".apk") || extension.startsWith(u".xapk")
               ? ExtensionCheck::Accepted
               : ExtensionCheck::WrongType;
}

bool NamedAsBundle(QByteArrayView path)
{
    const QString shown = FromNarrow(path);
    const QStringView extension = FindExtension(shown);
    return extension == u".apks" || extension == u".apkm" || extension == u".xapk";
}
