#pragma once

#include "ReadLease.h"
#include "base/MemoryFile.h"
#include "digest/SafeFile.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/stat.h>

// A package opened once, by its name, for one inspection and whatever is read of it later. The
// tool is handed the descriptor that reads it as /dev/fd/N and every other reader goes through
// file(), so all of them read the one file whatever another program does to the name meanwhile.
// Opened read-only, close-on-exec and non-blocking, so a FIFO cannot hang anyone; folders and
// FIFOs open too, so that the tool judges them as it would by name.
//
// A regular file is also kept to one content for as long as it is open: under a read lease
// (ReadLease), so that nobody may write it unnoticed, not even through a shared mapping; or,
// where no lease is to be had (another owner's file, a file system without leases), read from a
// sealed copy in memory that nobody can write. A file open for writing elsewhere is neither.
class PackageFile
{
public:
    // How a regular file is kept to one content.
    enum class Keeping
    {
        Leased,       // under a read lease
        Copied,       // read from a private copy
        BeingWritten, // not kept: another program has it open for writing
        NotKept,      // not kept: no lease, and no copy (too large, or memory refused)
    };

    // `path` holds the name's bytes as the file system has them, UTF-8 or not.
    explicit PackageFile(const QByteArray &path);
    ~PackageFile();
    PackageFile(const PackageFile &) = delete;
    PackageFile &operator=(const PackageFile &) = delete;

    const QByteArray &path() const { return name; }
    // Whether anything at all opened by that name.
    bool isOpen() const { return fd >= 0; }
    // The descriptor the tool inherits, and the path by which it opens it: "/dev/fd/N". The
    // copy's, when the file was copied.
    int descriptor() const { return copy ? copy->descriptor() : fd; }
    QString childPath() const;
    // The same open file (or its copy) for reading; not open unless it is a regular file.
    const SafeFile &file() const { return *regular; }
    Keeping keeping() const { return kept; }
    // Whether every reader sees one content: the file is leased or copied.
    bool keptToOneContent() const { return kept == Keeping::Leased || kept == Keeping::Copied; }
    // Whether the open file is no longer as it was opened: another size or change time (a
    // write, a truncation, a rename, a new link or an unlink since), no answer at all, or its
    // lease broken because another program opened it for writing.
    bool changed() const;
    // Whether its lease was broken: another program opened it for writing since.
    bool openedForWriting() const { return lease && lease->taken() && !lease->held(); }

private:
    QByteArray name;
    int fd = -1;
    struct stat opened = {};
    std::optional<ReadLease> lease;
    std::optional<MemoryFile> copy;
    Keeping kept = Keeping::NotKept;
    std::optional<SafeFile> regular;
};
