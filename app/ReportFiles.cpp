#include "ReportFiles.h"

#include "inspect/ExtensionRule.h"

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
        else if (CheckExtension(name) == ExtensionCheck::Accepted)
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
