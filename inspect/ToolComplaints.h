#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Whether the badging tool's own words say "ERROR": anywhere in its output but inside a value it
// quotes on a line of its own form (ParseBadgingLine), which is the package's text. A line that is
// not of that form to its end (a value left open, a complaint the tool wrote into the middle of
// another line, as its output and its complaints share one pipe in pieces) counts whole.
bool ToolSaysError(QByteArrayView output);

// The tool's complaints, one line each, as aapt writes them: "ERROR…" at a line's start,
// "error: …", or a complaint about a place in the manifest,
// "AndroidManifest.xml:4: error: ERROR getting 'android:icon' attribute: …"; and, for a line
// whose own words say "ERROR" elsewhere, the line from that word on. A value the tool prints in
// quotes ("application-label:'ERROR Reporter'") never makes one. Every line for which
// ToolSaysError holds gives one.
QList<QByteArray> ToolComplaints(const QByteArray &output);

// Whether each complaint only says that a label or an icon refers to a resource that is missing
// or is no string: "ERROR getting 'android:icon' attribute: " or the same for 'android:label',
// then "attribute value reference does not exist" or "attribute is not a string value". aapt
// says so of packages that install fine, such as those whose resources were trimmed after
// linking; every other complaint means a damaged package.
bool ComplainsOnlyOfLabelsAndIcons(const QList<QByteArray> &complaints);
