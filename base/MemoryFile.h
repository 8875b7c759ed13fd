#pragma once

#include <QByteArray>

// An anonymous file in memory (memfd): bytes that another program can read by a path, and
// SafeFile by its descriptor, without anything being written to disk. Opened close-on-exec; a tool
// that must read it is handed the descriptor explicitly. Once sealed its bytes can no longer
// change.
class MemoryFile
{
public:
    // `name` only labels the file in /proc; it is not a path.
    explicit MemoryFile(const char *name);
    ~MemoryFile();
    MemoryFile(MemoryFile &&other) noexcept;
    MemoryFile &operator=(MemoryFile &&other) noexcept;
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    bool isOpen() const { return fd >= 0; }
    int descriptor() const { return fd; }
    // The bytes written so far.
    qint64 size() const { return written; }
    // "/dev/fd/N": the same file for a child that inherits the descriptor.
    QByteArray childPath() const;

    // Appends `size` bytes; false when the memory is refused (the file stays as far as it got).
    bool append(const char *data, qint64 size);
    // Appends `size` bytes of the open file `source` from `offset`, copied by the kernel; false
    // when they cannot all be read or the memory is refused.
    bool appendFrom(int source, qint64 offset, qint64 size);
    // Forbids every later write, growth or shrinking, by anyone holding the file.
    bool seal();

private:
    int fd = -1;
    qint64 written = 0;
};
