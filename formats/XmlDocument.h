#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// One attribute of a binary XML element as the document holds it: what Android's parser would
// read, nothing resolved. A reference stays a resource id for a resource table to name.
struct XmlAttribute
{
    QString namespaceUri; // empty for an attribute outside any namespace ("package")
    QString name;
    quint32 resourceId = 0; // the attribute's android.R.attr id; 0 when it has none
    quint8 type = 0;        // a ValueType (ResourceTable.h), or 0 when the value is only text
    quint32 data = 0;       // the typed value: a number, a resource id, a string's index
    QString text;           // the string, for a string value or the raw text the compiler kept
};

// The namespace of android: attributes.
inline constexpr char16_t AndroidNamespaceUri[] = u"http://schemas.android.com/apk/res/android";

// One element, in document order. Its parent comes before it; children follow at depth + 1.
struct XmlElement
{
    QString namespaceUri;
    QString name;
    int depth = 0;         // 0 for the root
    qsizetype parent = -1; // index of the parent element; -1 for the root
    // Namespaces declared on this element (prefix, uri), as xmlns attributes would declare them.
    QList<std::pair<QString, QString>> namespaces;
    QList<XmlAttribute> attributes;
    QString text; // its text children, joined; whitespace-only text is dropped

    // The attribute with resource id `resourceId`, whatever its name, as Android's package
    // parser finds an android: attribute; nothing when absent.
    const XmlAttribute *attribute(quint32 resourceId) const;
    // The attribute `name` outside any namespace ("package"); nothing when absent.
    const XmlAttribute *plainAttribute(QStringView name) const;
    // The attribute `name` in the Android namespace, whatever its resource id, as the few parts
    // of Android that ask the parser by name find one (an intent filter's actions and
    // categories); nothing when absent.
    const XmlAttribute *namedAndroidAttribute(QStringView name) const;
};

// A whole binary XML document (a manifest, a drawable) as a flat list of its elements.
struct XmlDocument
{
    QList<XmlElement> elements;
};

// A document holds at most this many elements and attributes together: 8 MiB of manifest
// holds about 400,000 attributes, and a manifest of 100,000 components with their filters fits
// well inside.
constexpr qsizetype MaxXmlNodes = 1 << 20;
