#include "BadgingLine.h"

namespace {

bool IsNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// Whether another value starts at `from`: blanks, then an apostrophe or "name='".
bool NextValueStarts(QByteArrayView text, qsizetype from)
{
    qsizetype at = from;
    while (at < text.size() && text[at] == ' ')
        ++at;
    if (at == from || at == text.size())
        return false;
    if (text[at] == '\'')
        return true;
    while (at < text.size() && IsNameByte(text[at]))
        ++at;
    return at + 1 < text.size() && text[at] == '=' && text[at + 1] == '\'';
}

// The position of the apostrophe that ends the value starting at `from`; the line's end when
// no apostrophe may end it (a cut-off line).
qsizetype ValueEnd(QByteArrayView text, qsizetype from)
{
    for (qsizetype at = text.indexOf('\'', from); at >= 0; at = text.indexOf('\'', at + 1))
        if (at + 1 == text.size() || NextValueStarts(text, at + 1))
            return at;
    return text.size();
}

QByteArray Unescape(QByteArrayView printed)
{
    QByteArray value;
    value.reserve(printed.size());
    for (qsizetype at = 0; at < printed.size(); ++at) {
        const bool escaped = printed[at] == '\\' && at + 1 < printed.size() &&
                             (printed[at + 1] == '\\' || printed[at + 1] == '"');
        value.append(printed[escaped ? ++at : at]);
    }
    return value;
}

} // namespace

QByteArray BadgingLine::attribute(QByteArrayView name) const
{
    for (const auto &[attributeName, value] : attributes)
        if (attributeName == name)
            return value;
    return {};
}

BadgingLine ParseBadgingLine(QByteArrayView line)
{
    BadgingLine parsed;
    parsed.toolWords = line.toByteArray();
    const qsizetype colon = line.indexOf(':');
    parsed.key = line.first(colon < 0 ? line.size() : colon).toByteArray();
    if (colon < 0)
        return parsed;
    const QByteArrayView rest = line.sliced(colon + 1);
    // "key:'value'" lines carry one value, so only the line's last apostrophe ends it.
    if (rest.startsWith('\'')) {
        const bool closed = rest.size() > 1 && rest.endsWith('\'');
        const qsizetype end = closed ? rest.size() - 1 : rest.size();
        parsed.values.append(Unescape(rest.sliced(1, end - 1)));
        if (closed)
            parsed.toolWords = line.first(colon + 1).toByteArray() + "''";
        return parsed;
    }

    QByteArray words = line.first(colon + 1).toByteArray();
    qsizetype at = 0;
    qsizetype wordsFrom = 0; // where the tool's words after the last value start
    while (at < rest.size()) {
        while (at < rest.size() && rest[at] == ' ')
            ++at;
        const qsizetype nameStart = at;
        while (at < rest.size() && IsNameByte(rest[at]))
            ++at;
        const bool named =
            at > nameStart && at + 1 < rest.size() && rest[at] == '=' && rest[at + 1] == '\'';
        if (named)
            ++at;
        else
            at = nameStart;
        if (at >= rest.size())
            break;
        if (rest[at] != '\'')
            return parsed; // not the tool's quoting: nothing more to trust on this line
        const qsizetype end = ValueEnd(rest, at + 1);
        QByteArray value = Unescape(rest.sliced(at + 1, end - at - 1));
        if (named)
            parsed.attributes.append(
                {rest.sliced(nameStart, at - 1 - nameStart).toByteArray(), std::move(value)});
        else
            parsed.values.append(std::move(value));
        if (end == rest.size())
            return parsed; // a value left open
        words += rest.sliced(wordsFrom, at - wordsFrom);
        words += "''";
        at = end + 1;
        wordsFrom = at;
    }
    words += rest.sliced(wordsFrom);
    parsed.toolWords = words;
    return parsed;
}
