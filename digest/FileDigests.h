#pragma once

#include "ReadOnce.h"

#include <QByteArray>
#include <optional>

class SafeFile;

// A whole file's MD5, SHA-1 and SHA-256 as lower-case hexadecimal digits.
struct FileDigests
{
    QByteArray md5;
    QByteArray sha1;
    QByteArray sha256;
};

// The three, each fed by a read that may feed other sinks too (ReadOnce).
struct FileDigestSinks
{
    FileDigestSinks();
    // Ends all three; call once the whole file was fed.
    FileDigests finish();

    DigestSink md5;
    DigestSink sha1;
    DigestSink sha256;
};

// All three in one read of `file`; nothing unless exactly its length was read. A digest this
// OpenSSL does not offer stays empty.
std::optional<FileDigests> ComputeFileDigests(const SafeFile &file);
