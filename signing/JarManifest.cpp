#include "JarManifest.h"

namespace {

std::optional<DigestAlgorithm> DigestNamed(QByteArrayView name)
{
    if (name.compare("SHA1", Qt::CaseInsensitive) == 0 ||
        name.compare("SHA-1", Qt::CaseInsensitive) == 0)
        return DigestAlgorithm::Sha1;
    if (name.compare("SHA-256", Qt::CaseInsensitive) == 0)
        return DigestAlgorithm::Sha256;
    if (name.compare("SHA-512", Qt::CaseInsensitive) == 0)
        return DigestAlgorithm::Sha512;
    return std::nullopt;
}

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

} // namespace

QByteArray JarSection::value(QByteArrayView key) const
{
    for (const auto &[name, value] : attributes)
        if (QByteArrayView(name).compare(key, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QList<std::pair<DigestAlgorithm, QByteArray>> JarSection::digests(QByteArrayView suffix) const
{
    QList<std::pair<DigestAlgorithm, QByteArray>> found;
    for (const auto &[name, value] : attributes) {
        if (name.size() <= suffix.size() ||
            QByteArrayView(name).last(suffix.size()).compare(suffix, Qt::CaseInsensitive) != 0)
            continue;
        if (const auto algorithm = DigestNamed(QByteArrayView(name).chopped(suffix.size())))
            found.append({*algorithm, QByteArray::fromBase64(value)});
    }
    return found;
}

JarManifest ParseJarManifest(const QByteArray &bytes)
{
    JarManifest manifest;
    JarSection section;
    qsizetype sectionStart = 0;
    bool first = true;
    const auto close = [&](qsizetype end) {
        section.raw = bytes.sliced(sectionStart, end - sectionStart);
        if (first) {
            manifest.main = section;
            first = false;
        } else if (!section.attributes.isEmpty()) {
            const QByteArray name = section.value("Name");
            if (!name.isNull() && !manifest.entryByName.contains(name))
                manifest.entryByName.insert(name, manifest.entries.size());
            manifest.entries.append(section);
        }
        section = JarSection();
    };
    for (qsizetype at = 0; at < bytes.size();) {
        const auto [end, next] = LineAt(bytes, at);
        const QByteArrayView line(bytes.constData() + at, end - at);
        if (line.isEmpty()) {
            close(next);
            sectionStart = next;
        } else if (line.startsWith(' ')) {
            if (!section.attributes.isEmpty())
                section.attributes.last().second += line.sliced(1);
        } else {
            const qsizetype colon = line.indexOf(": ");
            if (colon > 0)
                section.attributes.append(
                    {line.first(colon).toByteArray(), line.sliced(colon + 2).toByteArray()});
        }
        at = next;
    }
    if (sectionStart < bytes.size() || first)
        close(bytes.size());
    return manifest;
}
