#include "ReportFiles.h"

#include "FileList.h"
#include "digest/Digest.h"
#include "inspect/ExtensionRule.h"

#include <QSet>
#include <QtEndian>
#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace {

bool IsFolder(const QByteArray &path, bool followLink)
{
    struct stat info;
    const int status =
        followLink ? ::stat(path.constData(), &info) : ::lstat(path.constData(), &info);
    return status == 0 && S_ISDIR(info.st_mode);
}

void CollectBelow(const QByteArray &folder, QList<QByteArray> &found)
{
    DIR *directory = ::opendir(folder.constData());
    if (!directory)
        return;
    const QByteArray prefix = folder.endsWith('/') ? folder : folder + '/';
    QList<QByteArray> subfolders;
    while (const dirent *entry = ::readdir(directory)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = prefix + name;
        if (IsFolder(path, false))
            subfolders.append(path);
        else if (ReadPackageName(name).check == ExtensionCheck::Accepted)
            found.append(path);
    }
    ::closedir(directory);
    for (const QByteArray &subfolder : std::as_const(subfolders))
        CollectBelow(subfolder, found);
}

} // namespace

QList<QByteArray> CollectReportFiles(const QList<QByteArray> &paths)
{
    QList<QByteArray> files;
    for (const QByteArray &path : paths) {
        if (!IsFolder(path, true)) {
            files.append(path);
            continue;
        }
        QList<QByteArray> below;
        CollectBelow(path, below);
        std::sort(below.begin(), below.end());
        files += below;
    }
    return files;
}

quint64 ShardOf(const QByteArray &path, quint64 count)
{
    const QByteArray digest = DigestOf(DigestAlgorithm::Sha256, path);
    return qFromBigEndian<quint64>(digest.constData()) % count;
}

bool SelectReportFiles(const ReportRequest &request, ReportFileSelection &selection, QString &error)
{
    const bool once = !request.output.isEmpty();
    QSet<QByteArray> taken;
    const auto add = [&](const QList<QByteArray> &paths) {
        for (const QByteArray &file : CollectReportFiles(paths)) {
            ++selection.found;
            if (request.shardCount > 1 && ShardOf(file, request.shardCount) != request.shardIndex)
                continue;
            if (once) {
                const qsizetype before = taken.size();
                taken.insert(file);
                if (taken.size() == before)
                    continue;
            }
            selection.files.append(file);
        }
    };
    add(request.paths);
    if (request.filesFrom.isEmpty())
        return true;
    bool absolute = true;
    const bool read = ReadFileList(
        request.filesFrom, request.filesFromLines ? '\n' : '\0',
        [&](const QByteArray &entry) {
            const QByteArray path = AbsolutePath(entry);
            absolute = absolute && !path.isEmpty();
            if (!path.isEmpty())
                add({path});
        },
        error);
    if (read && !absolute)
        error = QStringLiteral("无法取得当前目录，文件列表中的相对路径不能变成绝对路径");
    return read && absolute;
}
