#include "BadgingParser.h"

#include "ToolComplaints.h"

namespace {

// The bytes between the first apostrophe at or after `from` and the next apostrophe.
bool ExtractQuoted(const QByteArray &output, qsizetype from, QByteArray &value)
{
    const qsizetype open = output.indexOf('\'', from);
    if (open < 0)
        return false;
    const qsizetype close = output.indexOf('\'', open + 1);
    if (close < 0)
        return false;
    value = output.sliced(open + 1, close - open - 1);
    return true;
}

// Extracts the value quoted after the first occurrence of `marker`.
bool ExtractAfterMarker(const QByteArray &output, const char *marker, QByteArray &value)
{
    const qsizetype at = output.indexOf(marker);
    return at >= 0 && ExtractQuoted(output, at, value);
}

} // namespace

BadgingStatus ParseBadging(QByteArray output, BadgingInfo &info)
{
    if (output.isEmpty())
        return NoOutput;
    // Kept strict on purpose: a damaged package is reported even if a package line came first.
    // Only a word inside a value the tool quotes is the package's, not the tool's.
    if (ToolSaysError(output))
        return ToolError;
    return ParseBadgingValues(output, info) ? Parsed : NoPackageLine;
}

bool ParseBadgingValues(const QByteArray &output, BadgingInfo &info)
{
    if (!output.contains("package: name="))
        return false;
    if (ExtractAfterMarker(output, "package: name=", info.packageName) &&
        ExtractAfterMarker(output, "versionName=", info.versionName))
        ExtractAfterMarker(output, "application-icon", info.iconPath);
    return true;
}
