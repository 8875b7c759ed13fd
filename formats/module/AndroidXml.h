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

// The index of the attribute whose resource id is `resourceId`, whatever its name, as Android's
// package parser and apksig find an android: attribute; -1 when absent.
qsizetype AndroidAttribute(const android::ResXMLParser &xml, quint32 resourceId);
// The index of attribute `name` in the Android namespace, whatever its resource id, as the part
// of Android that reads a package before parsing it whole finds one; -1 when absent.
qsizetype NamedAndroidAttribute(const android::ResXMLParser &xml, const char *name);
// The index of attribute `name` outside any namespace ("package", "split"); -1 when absent.
qsizetype PlainAttribute(const android::ResXMLParser &xml, const char *name);

// The attribute's value as text: a string as itself, a number in decimal, a boolean as
// "true"/"false"; empty for references and everything else, which need a resource table.
QString AttributeText(const android::ResXMLParser &xml, qsizetype index);
// The attribute's typed value; nothing when the index is out of range.
std::optional<android::Res_value> AttributeValue(const android::ResXMLParser &xml, qsizetype index);
// Whether the value is of one of the types Android reads as an integer (decimal, hex, boolean,
// colour: TypedValue's TYPE_FIRST_INT to TYPE_LAST_INT).
bool IsInteger(const android::Res_value &value);
