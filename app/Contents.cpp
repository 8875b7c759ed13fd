#include "Contents.h"

#include "HoldingsJson.h"
#include "apk/ContentsListing.h"
#include "archive/ZipArchive.h"
#include "base/NarrowText.h"
#include "details/ContentsText.h"
#include "details/FailureText.h"
#include "inspect/Inspection.h"
#include "inspect/PackageFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace {

int CannotList(const QByteArray &path, const QString &why)
{
    std::fprintf(stderr, "pelmora：无法列出 “%s” 的内容：%s\n",
                 EntryNameText(path).toLocal8Bit().constData(), why.toLocal8Bit().constData());
    return 1;
}

// `name` as a JSON string under `key`, and its bytes in hex under `hexKey` when they are not
// UTF-8, so that a script can find it again.
void InsertName(QJsonObject &object, const QString &key, const QString &hexKey,
                const QByteArray &name)
{
    const QString shown = FromNarrow(name);
    object.insert(key, shown);
    if (shown.toUtf8() != name)
        object.insert(hexKey, QString::fromLatin1(name.toHex()));
}

QByteArray ContentsJson(const QByteArray &path, const ContentsListing &listing)
{
    QJsonArray entries;
    for (const ListedEntry &entry : listing.entries) {
        QJsonObject object{
            {QStringLiteral("method"), entry.method},
            {QStringLiteral("stored"), entry.stored},
            {QStringLiteral("uncompressed"), entry.uncompressed},
            {QStringLiteral("share"), double(entry.stored) / double(listing.fileSize)},
        };
        InsertName(object, QStringLiteral("name"), QStringLiteral("nameHex"), entry.name);
        entries.append(object);
    }
    QJsonObject object{
        {QStringLiteral("size"), listing.fileSize},
        {QStringLiteral("entries"), entries},
        {QStringLiteral("byCategory"), ByCategoryObject(listing.byCategory)},
    };
    InsertName(object, QStringLiteral("path"), QStringLiteral("pathHex"), path);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

int RunContents(const ContentsRequest &request)
{
    const PackageFile package(request.path);
    const SafeFile &file = package.file();
    if (!file.isOpen())
        return CannotList(request.path, QStringLiteral("不是可读取的文件"));
    if (!package.keptToOneContent())
        return CannotList(request.path, NotKeptReason(package));
    const ZipArchive archive(file);
    if (!archive.isOpen())
        return CannotList(request.path, FailureText(archive.problem()));
    const ContentsListing listing = ListContents(file, archive);
    // Listed whole only if the file is still the one it was opened as.
    if (package.changed())
        return CannotList(request.path, ChangedReason(package));
    const QByteArray printed =
        request.json ? ContentsJson(request.path, listing) : ContentsText(listing).toUtf8();
    std::fwrite(printed.constData(), 1, std::size_t(printed.size()), stdout);
    return 0;
}
