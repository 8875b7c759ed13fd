#pragma once

class SafeFile;
struct zip_source;
struct zip_error;

// A libzip source that reads `file` through a descriptor of its own with pread, serving small
// reads from a 64 KiB window of the file. libzip reads each entry's local header, a few dozen
// bytes, before its data, and through stdio that is a seek and a read per header. Null when the
// descriptor cannot be had; libzip frees the source with the archive.
zip_source *CreateZipFileSource(const SafeFile &file, zip_error *error);
