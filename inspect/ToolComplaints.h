#pragma once

#include <QByteArray>
#include <QList>

// The lines of the badging tool's output that report an error, as aapt writes them: "ERROR…" at
// a line's start, "error: …", or a complaint about a place in the manifest,
// "AndroidManifest.xml:4: error: ERROR getting 'android:icon' attribute: …". A value the tool
// prints in quotes ("application-label:'ERROR Reporter'") never makes one.
QList<QByteArray> ToolComplaints(const QByteArray &output);

// Whether each complaint only says that a label or an icon refers to a resource that is missing
// or is no string: "ERROR getting 'android:icon' attribute: " or the same for 'android:label',
// then "attribute value reference does not exist" or "attribute is not a string value". aapt
// says so of packages that install fine, such as those whose resources were trimmed after
// linking; every other complaint means a damaged package.
bool ComplainsOnlyOfLabelsAndIcons(const QList<QByteArray> &complaints);
