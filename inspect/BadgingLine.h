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
    // What the tool wrote around the values: the line with each quoted value emptied, or the
    // whole line when it is not of the tool's form to its end (a value left open, text that is
    // no value), since then no part of it can be told from the tool's own words.
    QByteArray toolWords;

    // The first attribute called `name`; empty when there is none.
    QByteArray attribute(QByteArrayView name) const;
};

BadgingLine ParseBadgingLine(QByteArrayView line);
