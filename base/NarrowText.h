#pragma once

#include <QByteArrayView>
#include <QString>

// The tool's output is narrow text. On Linux that is UTF-8 whatever the locale; bytes that are
// not valid UTF-8 become U+FFFD, so nothing the tool printed silently disappears.
inline QString FromNarrow(QByteArrayView text)
{
    return QString::fromUtf8(text);
}
