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

PackageName ReadPackageName(QByteArrayView path)
{
    const QString shown = FromNarrow(path);
    const QStringView extension = FindExtension(shown);
    if (extension.isEmpty())
        return {};
    // Only the first characters count.
    const bool accepted = extension.startsWith(u".apk") || extension.startsWith(u".xapk");
    return {accepted ? ExtensionCheck::Accepted : ExtensionCheck::WrongType,
            extension == u".apks" || extension == u".apkm" || extension == u".xapk"};
}
