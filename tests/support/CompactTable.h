#pragma once

#include <QByteArray>

// `table` (a resources.arsc as aapt writes it) rewritten as aapt2 writes it with
// --enable-compact-entries, the way of Android 14 and later: every type chunk with 16-bit
// offsets, every plain entry a compact one; bags stay full entries.
QByteArray WithCompactEntries(const QByteArray &table);
