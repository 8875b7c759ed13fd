#pragma once

#include <QByteArray>
#include <functional>

class SafeFile;

// The MD5 of a whole file as 32 lower-case hexadecimal digits in `out`. `path` holds the name's
// bytes as the file system has them.
// The file is opened read-only and never created; only regular files of 1 to 4,294,967,295
// bytes get a digest, and only when exactly that many bytes could be read.
// Returns 0 for a null path, a file that does not open as a regular file, or a failed size
// query (`out` empty, or untouched for a null path); otherwise 1, with `out` empty unless a
// digest was made. Between chunks, `keepGoing` (when given) may stop the work: then no digest.
int ComputeFileMd5(const QByteArray &path, QByteArray &out,
                   const std::function<bool()> &keepGoing = nullptr);
// The same for a file already open.
int ComputeFileMd5(const SafeFile &file, QByteArray &out,
                   const std::function<bool()> &keepGoing = nullptr);

// Sets `size` to the length of the open file `fd` when it is 1 to 4,294,967,295 bytes, else 0.
// Returns 1 when the size could be queried, 0 when not.
int QueryFileSize32(int fd, quint32 &size);

// The MD5 of `size` bytes at `data` into `out`. Returns 1, or 0 (out untouched) when size is 0.
int Md5Hex(quint32 size, const void *data, QByteArray &out);
