#pragma once

#include "digest/SafeFile.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/stat.h>

// A package opened once, by its name, for one inspection and whatever is read of it later. The
// tool is handed this very descriptor as /dev/fd/N and every other reader goes through file(),
// so all of them read the one file whatever another program does to the name meanwhile. Opened
// read-only, close-on-exec and non-blocking, so a FIFO cannot hang anyone; folders and FIFOs
// open too, so that the tool judges them as it would by name.
class PackageFile
{
public:
    // `path` holds the name's bytes as the file system has them, UTF-8 or not.
    explicit PackageFile(const QByteArray &path);
    ~PackageFile();
    PackageFile(const PackageFile &) = delete;
    PackageFile &operator=(const PackageFile &) = delete;

    const QByteArray &path() const { return name; }
    // Whether anything at all opened by that name.
    bool isOpen() const { return fd >= 0; }
    // The descriptor the tool inherits, and the path by which it opens it: "/dev/fd/N".
    int descriptor() const { return fd; }
    QString childPath() const;
    // The same open file for reading; not open unless it is a regular file.
    const SafeFile &file() const { return *regular; }
    // Whether the open file is no longer as it was opened: another size or change time (a
    // write, a truncation, a rename, a new link or an unlink since), or no answer at all.
    bool changed() const;

private:
    QByteArray name;
    int fd = -1;
    struct stat opened = {};
    std::optional<SafeFile> regular;
};
