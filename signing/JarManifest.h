#pragma once

#include "digest/Digest.h"

#include <QByteArray>
#include <QList>
#include <optional>

// Limits that no real package reaches. A file or section count past them is refused, never
// parsed on: a ZIP without ZIP64 holds at most 65,535 entries, each named by one section, and
// a real manifest of that many runs to about 20 MiB.
inline constexpr qint64 MaxJarFileSize = qint64(32) << 20;
inline constexpr qsizetype MaxJarSections = 65536;
inline constexpr qsizetype MaxJarAttributes = qsizetype(1) << 20;

// A JAR manifest or signature file (META-INF/MANIFEST.MF, *.SF), read as Android's signing
// library reads one: lines end in CR LF, LF or CR; a line starting with a space continues the
// attribute before it; a blank line ends a section; an attribute is split at its first ": ".
// Attribute names compare without case, as Java's equalsIgnoreCase compares them.
class JarManifest
{
public:
    struct Section
    {
        qsizetype start = 0; // its first line
        qsizetype size = 0;  // through the blank line that ends it
        qsizetype firstAttribute = 0;
        qsizetype attributeCount = 0;
    };

    explicit JarManifest(QByteArray bytes);

    // Whether parsing stopped at MaxJarSections or MaxJarAttributes; the rest is then unread.
    bool overLimit() const { return stopped; }
    const QByteArray &bytes() const { return text; }
    // The first section; it has no attributes when the file has none.
    const Section &main() const { return mainSection; }
    const QList<Section> &sections() const { return individual; }
    QByteArrayView raw(const Section &section) const;
    // The value of the first attribute called `name`; nothing when there is none.
    std::optional<QByteArray> value(const Section &section, QByteArrayView name) const;
    // The value of the section's first attribute when that is called "Name"; otherwise nothing.
    std::optional<QByteArray> name(const Section &section) const;

private:
    struct Attribute
    {
        qsizetype line = 0; // where its logical line starts, in `text` or in `joined`
        qint32 size = 0;
        qint32 nameSize = 0; // up to the first ": ", or the whole line
        quint32 nameHash = 0;
        bool inJoined = false; // a continued line, kept with its continuations joined
    };

    QByteArrayView lineOf(const Attribute &attribute) const;
    bool named(const Attribute &attribute, QByteArrayView name, quint32 hash) const;

    QByteArray text;
    QByteArray joined;
    QList<Attribute> attributes;
    Section mainSection;
    QList<Section> individual;
    bool stopped = false;
};

struct JarDigest
{
    DigestAlgorithm algorithm;
    QByteArray expected;
};

struct JarDigests
{
    QList<JarDigest> digests; // empty when no Android version in the range finds one
    bool malformed = false;   // a digest that is no Base64: Android's check throws
    bool overLimit = false;   // a Digest-Algorithms list longer than any real one
};

// The digests named `<algorithm><suffix>` in `section` that Android checks when it runs any
// version in [minSdk, maxSdk]: before 4.3 the first one the section's Digest-Algorithms list
// (by default SHA, then SHA1) names and that version knows; from 4.3 on the strongest one
// present of SHA-512, SHA-384, SHA-256 and SHA-1. Others (SHA-224, MD5 from 4.3 on, names no
// version knows) are not checked, as Android does not check them.
JarDigests DigestsToCheck(const JarManifest &file, const JarManifest::Section &section,
                          QByteArrayView suffix, int minSdk, int maxSdk);
