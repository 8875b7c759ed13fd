#pragma once

#include <QByteArray>
#include <QString>

// A binary AndroidManifest.xml as aapt writes it, rewritten after linking as an attacker would,
// for packages built at test time.

// A resource id that names none of Android's attributes.
constexpr quint32 UnknownAttributeId = 0x0101ffff;

// `xml` with the resource id its resource map gives the attribute name `name` set to `id`, so
// that a reader by id and a reader by name see different attributes. Empty when `name` has no id.
QByteArray WithAttributeId(const QByteArray &xml, const QString &name, quint32 id);

// `xml` with a chunk of `size` zero bytes, of a type no reader knows (so every reader passes over
// it), before its first element.
QByteArray WithPadding(const QByteArray &xml, qint64 size);
