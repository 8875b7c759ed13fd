#pragma once

#include <QByteArray>
#include <QString>

// How a package's name reaches the tool. The tool's arguments travel as text, so a name that is
// valid UTF-8 is passed as itself. Any other name would lose bytes on the way: then the file is
// opened here and the tool is given "/dev/fd/N" for a descriptor that the child keeps, which
// names the same file without writing anything.
class PackageArgument
{
public:
    explicit PackageArgument(const QByteArray &path);
    ~PackageArgument();
    PackageArgument(const PackageArgument &) = delete;
    PackageArgument &operator=(const PackageArgument &) = delete;

    // The argument for the tool; null for an empty path.
    const QString &text() const { return argument; }
    // The descriptor the tool must inherit, or -1 when the name is passed as itself.
    int descriptor() const { return fd; }

private:
    QString argument;
    int fd = -1;
};
