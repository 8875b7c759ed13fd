#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <utility>

// One line of the badging tool's output, split by the tool's own quoting. The tool prints every
// value inside apostrophes without escaping apostrophes within it ("versionName='2.5 'beta''"),
// so the line's form decides where a value ends: "key:'value'" holds one value up to the line's
// last apostrophe; in "key: name='a' 'b'" a value ends at an apostrophe at the line's end or
// followed by the next value (" 'x'" or " name='x'"). It does escape backslashes and double
// quotes, which are unescaped here; "\n" stays as printed, since a field holds one line.
struct BadgingLine
{
    QByteArray key;                                      // before the first ':', as indented
    QList<QByteArray> values;                            // unnamed: "key:'v'", "key: 'a' 'b'"
    QList<std::pair<QByteArray, QByteArray>> attributes; // "name='value'", in order

    // The first attribute called `name`; empty when there is none.
    QByteArray attribute(QByteArrayView name) const;
};

BadgingLine ParseBadgingLine(QByteArrayView line);
