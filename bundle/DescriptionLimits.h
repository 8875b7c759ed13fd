#pragma once

#include <QByteArrayView>
#include <QtGlobal>
#include <optional>

// A bundle's description (toc.pb, manifest.json, info.json, meta.sai_v*.json) is a few
// kilobytes. Parsing makes an object of every message or value, so a small hostile one of
// millions of empty messages would take gigabytes: its size and its items are counted first,
// without parsing, and a description past either limit makes the bundle damaged.
constexpr qint64 MaxDescriptionBytes = qint64(4) << 20;
constexpr qint64 MaxDescriptionItems = 100'000;

// How many of the messages Pelmora reads (ApkSetToc.proto) a toc.pb holds, counted from its wire
// format and stopping once past `limit`; nothing when it is not well-formed protobuf.
std::optional<qint64> CountTocMessages(QByteArrayView bytes, qint64 limit);

// How many values a JSON text holds (each object, array and element), counted from its
// brackets and commas outside strings and stopping once past `limit`.
qint64 CountJsonValues(QByteArrayView bytes, qint64 limit);
