#include "JarManifest.h"

#include "ApiLevels.h"

#include <QString>
#include <algorithm>

namespace {

// The end of the line starting at `from` and where the next one starts.
std::pair<qsizetype, qsizetype> LineAt(const QByteArray &bytes, qsizetype from)
{
    qsizetype end = from;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
        ++end;
    qsizetype next = end;
    if (next < bytes.size() && bytes[next] == '\r')
        ++next;
    if (next < bytes.size() && bytes[next] == '\n' && (next == end || bytes[end] == '\r'))
        ++next;
    return {end, next};
}

bool IsAscii(QByteArrayView text)
{
    for (const char c : text)
        if (quint8(c) >= 0x80)
            return false;
    return true;
}

// Java's equalsIgnoreCase holds for two characters exactly when upper-casing then lower-casing
// each gives the same one; so "ſHA-256-Digest" names a SHA-256 digest there. Names are folded
// that way, UTF-16 unit by unit, as Java compares them.
QString Folded(QByteArrayView utf8)
{
    QString text = QString::fromUtf8(utf8);
    for (QChar &c : text)
        c = c.toUpper().toLower();
    return text;
}

quint32 FoldedHash(QByteArrayView utf8)
{
    quint32 hash = 2166136261u;
    const auto mix = [&hash](char16_t unit) {
        hash = (hash ^ (unit & 0xff)) * 16777619u;
        hash = (hash ^ (unit >> 8)) * 16777619u;
    };
    if (IsAscii(utf8)) {
        for (const char c : utf8)
            mix(char16_t(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    } else {
        for (const QChar c : Folded(utf8))
            mix(c.unicode());
    }
    return hash;
}

bool SameFolded(QByteArrayView a, QByteArrayView b)
{
    if (IsAscii(a) && IsAscii(b))
        return a.compare(b, Qt::CaseInsensitive) == 0;
    return Folded(a) == Folded(b);
}

// Digest names as Android's signing library canonicalises them for Digest-Algorithms, with the
// first version that knows each in a manifest.
struct KnownDigest
{
    const char *name;
    DigestAlgorithm algorithm;
    int since;
};

constexpr KnownDigest KnownDigests[] = {
    {"MD5", DigestAlgorithm::Md5, 0},
    {"SHA", DigestAlgorithm::Sha1, 0},
    {"SHA1", DigestAlgorithm::Sha1, 0},
    {"SHA-1", DigestAlgorithm::Sha1, 0},
    {"SHA-256", DigestAlgorithm::Sha256, 0},
    {"SHA-384", DigestAlgorithm::Sha384, ApiLevel::Gingerbread},
    {"SHA-512", DigestAlgorithm::Sha512, ApiLevel::Gingerbread},
};

// From 4.3 on, the strongest present wins; SHA-1's attribute is spelt SHA1.
constexpr std::pair<const char *, DigestAlgorithm> StrongestFirst[] = {
    {"SHA-512", DigestAlgorithm::Sha512},
    {"SHA-384", DigestAlgorithm::Sha384},
    {"SHA-256", DigestAlgorithm::Sha256},
    {"SHA1", DigestAlgorithm::Sha1},
};

// Real lists name one to three algorithms.
constexpr int MaxDigestAlgorithmNames = 16;

std::optional<QByteArray> Base64(const QByteArray &text)
{
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

} // namespace

JarManifest::JarManifest(QByteArray bytes) : text(std::move(bytes))
{
    bool inSection = false;
    bool haveMain = false;
    Section section;
    const auto close = [&](qsizetype end) {
        section.size = end - section.start;
        section.attributeCount = attributes.size() - section.firstAttribute;
        if (!haveMain) {
            mainSection = section;
            haveMain = true;
        } else {
            individual.append(section);
        }
        inSection = false;
    };
    // The attribute being read: its first physical line and, once it is continued, where its
    // joined text starts in `joined`.
    qsizetype lineStart = 0;
    qsizetype lineSize = 0;
    qsizetype joinedStart = -1;
    bool open = false;
    const auto finish = [&]() {
        if (!open)
            return;
        open = false;
        Attribute attribute;
        QByteArrayView line;
        if (joinedStart < 0) {
            attribute.line = lineStart;
            line = QByteArrayView(text).sliced(lineStart, lineSize);
        } else {
            attribute.line = joinedStart;
            attribute.inJoined = true;
            line = QByteArrayView(joined).sliced(joinedStart);
            joinedStart = -1;
        }
        attribute.size = qint32(line.size());
        const qsizetype colon = line.indexOf(": ");
        attribute.nameSize = qint32(colon < 0 ? line.size() : colon);
        attribute.nameHash = FoldedHash(line.first(attribute.nameSize));
        attributes.append(attribute);
    };

    for (qsizetype at = 0; at < text.size();) {
        const auto [end, next] = LineAt(text, at);
        if (end == at) {
            finish();
            if (inSection)
                close(next);
            at = next;
            continue;
        }
        if (inSection && std::as_const(text)[at] == ' ') {
            if (joinedStart < 0) {
                // Joined lines are never longer than the file; reserving that once keeps
                // appending them linear.
                if (joined.isNull())
                    joined.reserve(text.size());
                joinedStart = joined.size();
                joined += QByteArrayView(text).sliced(lineStart, lineSize);
            }
            joined += QByteArrayView(text).sliced(at + 1, end - at - 1);
        } else {
            finish();
            if (!inSection) {
                if (individual.size() == MaxJarSections) {
                    stopped = true;
                    return;
                }
                section = Section{at, 0, attributes.size(), 0};
                inSection = true;
            }
            if (attributes.size() == MaxJarAttributes) {
                stopped = true;
                return;
            }
            lineStart = at;
            lineSize = end - at;
            open = true;
        }
        at = next;
    }
    finish();
    if (inSection)
        close(text.size());
}

QByteArrayView JarManifest::raw(const Section &section) const
{
    return QByteArrayView(text).sliced(section.start, section.size);
}

QByteArrayView JarManifest::lineOf(const Attribute &attribute) const
{
    return QByteArrayView(attribute.inJoined ? joined : text)
        .sliced(attribute.line, attribute.size);
}

bool JarManifest::named(const Attribute &attribute, QByteArrayView name, quint32 hash) const
{
    return attribute.nameHash == hash &&
           SameFolded(lineOf(attribute).first(attribute.nameSize), name);
}

std::optional<QByteArray> JarManifest::value(const Section &section, QByteArrayView name) const
{
    const quint32 hash = FoldedHash(name);
    for (qsizetype i = 0; i < section.attributeCount; ++i) {
        const Attribute &attribute = attributes[section.firstAttribute + i];
        if (!named(attribute, name, hash))
            continue;
        const QByteArrayView line = lineOf(attribute);
        return attribute.nameSize == line.size()
                   ? QByteArray("")
                   : line.sliced(attribute.nameSize + 2).toByteArray();
    }
    return std::nullopt;
}

std::optional<QByteArray> JarManifest::name(const Section &section) const
{
    static const quint32 hash = FoldedHash("Name");
    if (section.attributeCount == 0 || !named(attributes[section.firstAttribute], "Name", hash))
        return std::nullopt;
    return value(section, "Name");
}

JarDigests DigestsToCheck(const JarManifest &file, const JarManifest::Section &section,
                          QByteArrayView suffix, int minSdk, int maxSdk)
{
    JarDigests result;
    const auto add = [&](DigestAlgorithm algorithm, const QByteArray &text) {
        const std::optional<QByteArray> digest = Base64(text);
        if (!digest) {
            result.malformed = true;
            return;
        }
        for (const JarDigest &known : std::as_const(result.digests))
            if (known.algorithm == algorithm && known.expected == *digest)
                return;
        result.digests.append({algorithm, *digest});
    };
    if (minSdk < ApiLevel::JellyBeanMr2) {
        const QByteArray listed =
            file.value(section, "Digest-Algorithms").value_or(QByteArray("SHA SHA1"));
        const auto isSpace = [](char c) {
            return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
        };
        int names = 0;
        for (qsizetype at = 0; at < listed.size();) {
            if (isSpace(listed[at])) {
                ++at;
                continue;
            }
            qsizetype end = at;
            while (end < listed.size() && !isSpace(listed[end]))
                ++end;
            const QByteArray name = listed.sliced(at, end - at);
            at = end;
            if (++names > MaxDigestAlgorithmNames) {
                result.overLimit = true;
                return result;
            }
            const std::optional<QByteArray> text = file.value(section, name + suffix.toByteArray());
            if (!text)
                continue;
            const auto known =
                std::find_if(std::begin(KnownDigests), std::end(KnownDigests),
                             [&name](const KnownDigest &d) { return SameFolded(name, d.name); });
            if (known == std::end(KnownDigests) || known->since > minSdk)
                continue;
            add(known->algorithm, *text);
            break;
        }
        // A version before 4.3 that finds none fails, whatever later ones do.
        if (result.digests.isEmpty())
            return result;
    }
    if (maxSdk >= ApiLevel::JellyBeanMr2) {
        for (const auto &[name, algorithm] : StrongestFirst) {
            if (const auto text = file.value(section, QByteArray(name) + suffix.toByteArray())) {
                add(algorithm, *text);
                break;
            }
        }
    }
    return result;
}
