#pragma once

#include <QByteArray>

// What the badging tool says about a package; members stay empty unless extracted.
struct BadgingInfo
{
    QByteArray packageName;
    QByteArray versionName;
    QByteArray iconPath;
};

enum BadgingStatus : int
{
    ToolError = 0,     // the tool's own words say "ERROR" (ToolSaysError)
    Parsed = 1,        // a package line was found, whether or not a value could be extracted
    NoOutput = 2,      // the output is empty
    NoPackageLine = 3, // the output holds no "package: name="
};

// Reads the package name, version name and icon path out of the tool's output.
// Every marker counts at its first occurrence from the start of the output; a value is the
// text between the first apostrophe after its marker and the next one, line breaks included.
// A value is looked for only when the one before it was extracted.
BadgingStatus ParseBadging(QByteArray output, BadgingInfo &info);

// The same reading of the three values, whatever else the output says: for a package whose
// "ERROR" lines turn out harmless. Returns whether a package line was found.
bool ParseBadgingValues(const QByteArray &output, BadgingInfo &info);
