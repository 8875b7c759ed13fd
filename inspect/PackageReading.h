#pragma once

#include "apk/VerifyPackageSignatures.h"
#include "digest/FileDigests.h"
#include "signing/SignatureReport.h"

#include <memory>
#include <optional>

struct InspectedPackage;
class ZipArchive;

// What one read of a package's file gives: the file's MD5, SHA-1 and SHA-256, and the signature
// check whose content and entry digests come from the same bytes: a plain APK's own, or an APKM
// container's JAR signature. Every other reader of the package shares `archive`, and with it one
// inflate budget.
struct PackageReading
{
    std::optional<FileDigests> digests; // nothing unless the whole file was read
    std::optional<SignatureReport> signatures;
    std::shared_ptr<const ZipArchive> archive; // the file's, open or not
};

// Sets up that read: the sinks it feeds (ReadOnce), in whichever lanes the caller puts them.
class PackageReader
{
public:
    // Opens the file's archive. Its signatures are checked in the read when it is an APK (no
    // base entry) or an APKM container whose archive opened; a bundle's inner APKs are checked
    // each on its own, from memory.
    explicit PackageReader(const InspectedPackage &inspected);

    const std::shared_ptr<const ZipArchive> &fileArchive() const { return archive; }

    FileDigestSinks digests;
    std::optional<SignatureCheck> signatures;

    // Every sink above.
    QList<ByteSink *> sinks();
    // Ends them; `whole` says whether the read got the whole file.
    PackageReading finish(bool whole);

private:
    std::shared_ptr<const ZipArchive> archive;
};
