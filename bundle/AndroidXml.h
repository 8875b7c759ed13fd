#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace android {
class ResXMLParser;
struct Res_value;
} // namespace android

// Small readings of Android's binary XML (libandroidfw's ResXMLParser) at a start tag.

// The element's name.
QString ElementName(const android::ResXMLParser &xml);

// The index of attribute `name` in the Android namespace, found by its resource id (`resourceId`,
// when known: shrunk manifests may drop the names) or by its name; -1 when absent.
qsizetype AndroidAttribute(const android::ResXMLParser &xml, quint32 resourceId, const char *name);
// The index of attribute `name` outside any namespace ("package", "split"); -1 when absent.
qsizetype PlainAttribute(const android::ResXMLParser &xml, const char *name);

// The attribute's value as text: a string as itself, a number in decimal, a boolean as
// "true"/"false"; empty for references and everything else, which need a resource table.
QString AttributeText(const android::ResXMLParser &xml, qsizetype index);
// The attribute's typed value; nothing when the index is out of range.
std::optional<android::Res_value> AttributeValue(const android::ResXMLParser &xml, qsizetype index);
