#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>

class SafeFile;
class ZipArchive;

// Where a package's bytes go, by what they are for.
enum class SizeCategory
{
    Code,           // the DEX files Android loads (LoadedDexNames)
    ResourcesTable, // resources.arsc
    Res,            // res/
    Native,         // lib/
    Assets,         // assets/
    Signature,      // the JAR signature's files in META-INF/ and the APK Signing Block
    Other,          // every other entry, and the archive's own structure
};
inline constexpr int SizeCategoryCount = 7;

struct StoredAndUncompressed
{
    qint64 stored = 0;       // bytes in the file
    qint64 uncompressed = 0; // bytes once inflated, as declared
};

// One entry as the central directory lists it.
struct ListedEntry
{
    QByteArray name;
    quint16 method = 0; // 0: stored; Android inflates any other as deflate
    qint64 stored = 0;  // its compressed size, what it takes in the file
    qint64 uncompressed = 0;
    SizeCategory category = SizeCategory::Other;
};

// Every entry of a package, and its bytes by category. The categories' stored sizes add up to
// the file's: besides the entries' data, Signature counts the APK Signing Block and Other the
// archive's own structure (local headers with their padding, the central directory, the end
// record and anything between them), both the same stored and uncompressed.
struct ContentsListing
{
    qint64 fileSize = 0;
    QList<ListedEntry> entries; // in the central directory's order
    std::array<StoredAndUncompressed, SizeCategoryCount> byCategory{};
    qint64 signingBlock = 0; // in Signature
    qint64 structure = 0;    // in Other
};

// The listing of `archive`, opened over `file`.
ContentsListing ListContents(const SafeFile &file, const ZipArchive &archive);

// The category's key in JSON ("code", "resourcesTable", "res", "native", "assets",
// "signature", "other"); details/ names it on screen (CategoryText).
QString CategoryKey(SizeCategory category);
