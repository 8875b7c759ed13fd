#include "AndroidXml.h"

#include <androidfw/ResourceTypes.h>

namespace {

constexpr char AndroidNamespace[] = "http://schemas.android.com/apk/res/android";

QString Utf16(const char16_t *text, size_t length)
{
    return text ? QString::fromUtf16(text, qsizetype(length)) : QString();
}

} // namespace

QString ElementName(const android::ResXMLParser &xml)
{
    size_t length = 0;
    const char16_t *name = xml.getElementName(&length);
    return Utf16(name, length);
}

qsizetype AndroidAttribute(const android::ResXMLParser &xml, quint32 resourceId)
{
    for (size_t i = 0; i < xml.getAttributeCount(); ++i)
        if (xml.getAttributeNameResID(i) == resourceId)
            return qsizetype(i);
    return -1;
}

qsizetype NamedAndroidAttribute(const android::ResXMLParser &xml, const char *name)
{
    return qsizetype(xml.indexOfAttribute(AndroidNamespace, name));
}

qsizetype PlainAttribute(const android::ResXMLParser &xml, const char *name)
{
    return qsizetype(xml.indexOfAttribute(nullptr, name));
}

std::optional<android::Res_value> AttributeValue(const android::ResXMLParser &xml, qsizetype index)
{
    android::Res_value value;
    if (index < 0 || xml.getAttributeValue(size_t(index), &value) < 0)
        return std::nullopt;
    return value;
}

bool IsInteger(const android::Res_value &value)
{
    return value.dataType >= android::Res_value::TYPE_FIRST_INT &&
           value.dataType <= android::Res_value::TYPE_LAST_INT;
}

QString AttributeText(const android::ResXMLParser &xml, qsizetype index)
{
    const std::optional<android::Res_value> value = AttributeValue(xml, index);
    if (!value)
        return {};
    switch (value->dataType) {
    case android::Res_value::TYPE_STRING: {
        size_t length = 0;
        const char16_t *text = xml.getStrings().stringAt(value->data, &length);
        return Utf16(text, length);
    }
    case android::Res_value::TYPE_INT_DEC:
    case android::Res_value::TYPE_INT_HEX:
        return QString::number(qint32(value->data));
    case android::Res_value::TYPE_INT_BOOLEAN:
        return value->data ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return {};
    }
}
