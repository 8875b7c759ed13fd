#include "Manifest.h"

#include "archive/ZipArchive.h"
#include "bundle/ManifestApk.h"
#include "details/ContentsText.h"
#include "details/FailureText.h"
#include "details/ManifestText.h"
#include "formats/ApkManifest.h"
#include "inspect/Inspection.h"
#include "inspect/PackageFile.h"

#include <cstdio>

namespace {

int CannotShow(const QByteArray &path, const QString &why)
{
    std::fprintf(stderr, "pelmora：无法显示 “%s” 的清单：%s\n",
                 EntryNameText(path).toLocal8Bit().constData(), why.toLocal8Bit().constData());
    return 1;
}

} // namespace

int RunManifest(const ManifestRequest &request)
{
    const PackageFile package(request.path);
    const SafeFile &file = package.file();
    if (!file.isOpen())
        return CannotShow(request.path, QStringLiteral("不是可读取的文件"));
    if (!package.keptToOneContent())
        return CannotShow(request.path, NotKeptReason(package));
    std::optional<QString> text;
    const Failure problem = ReadManifestApk(file, [&](const ZipArchive &apk) {
        if (const std::optional<XmlDocument> document = ReadManifestDocument(apk))
            text = ManifestText(*document, OpenResourceTable(apk).get());
    });
    if (problem.failed())
        return CannotShow(request.path, FailureText(problem));
    if (!text)
        return CannotShow(request.path, QStringLiteral("清单无法读取"));
    // Shown only if the file is still the one it was opened as.
    if (package.changed())
        return CannotShow(request.path, ChangedReason(package));
    const QByteArray printed = text->toUtf8();
    std::fwrite(printed.constData(), 1, std::size_t(printed.size()), stdout);
    return 0;
}
