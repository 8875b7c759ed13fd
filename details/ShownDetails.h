#pragma once

#include "PackageDetails.h"

#include <QString>

// `text` with every control character written out ("\n", "\r", "\t", "\x1b", "\u2028"), so
// that nothing taken from a package can start a line of its own in the window, the text
// report or "复制全部", nor steer a terminal.
QString EscapeControls(const QString &text);

// `details` with every text taken from the package (names, labels, entries, certificate
// fields, the channel, reasons that quote them, the tool's complaints) escaped so, item by item,
// so that the lists the window joins with line breaks keep their own separators.
PackageDetails ShownDetails(const PackageDetails &details);
