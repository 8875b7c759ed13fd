#include "XmlDocumentReader.h"

#include <QHash>
#include <androidfw/ResourceTypes.h>

namespace {

// The document's strings, each made a QString once: a manifest names "name" and its namespace
// thousands of times, and each copy then shares the one.
class PooledStrings
{
public:
    explicit PooledStrings(const android::ResStringPool &pool) : strings(pool) {}

    QString operator()(ssize_t index)
    {
        if (index < 0)
            return {};
        auto found = made.constFind(index);
        if (found != made.constEnd())
            return *found;
        size_t length = 0;
        const char16_t *text = strings.stringAt(size_t(index), &length);
        return made.insert(index, text ? QString::fromUtf16(text, qsizetype(length)) : QString())
            .value();
    }

private:
    const android::ResStringPool &strings;
    QHash<ssize_t, QString> made;
};

XmlAttribute ReadAttribute(const android::ResXMLParser &xml, size_t index, PooledStrings &pooled)
{
    XmlAttribute attribute;
    attribute.namespaceUri = pooled(xml.getAttributeNamespaceID(index));
    attribute.name = pooled(xml.getAttributeNameID(index));
    attribute.resourceId = xml.getAttributeNameResID(index);
    android::Res_value value;
    if (xml.getAttributeValue(index, &value) >= 0 &&
        value.dataType != android::Res_value::TYPE_NULL) {
        attribute.type = value.dataType;
        attribute.data = value.data;
    }
    const ssize_t raw = xml.getAttributeValueStringID(index);
    if (raw >= 0)
        attribute.text = pooled(raw);
    else if (attribute.type == android::Res_value::TYPE_STRING)
        attribute.text = pooled(ssize_t(attribute.data));
    return attribute;
}

} // namespace

std::optional<XmlDocument> ReadXmlDocumentWithLibandroidfw(QByteArrayView bytes)
{
    android::ResXMLTree xml;
    if (bytes.isEmpty() || xml.setTo(bytes.data(), size_t(bytes.size())) != android::NO_ERROR)
        return std::nullopt;
    PooledStrings pooled(xml.getStrings());
    XmlDocument document;
    QList<std::pair<QString, QString>> declared; // namespaces waiting for the next element
    qsizetype open = -1;                         // the innermost element not yet ended
    qsizetype nodes = 0;
    for (;;) {
        switch (xml.next()) {
        case android::ResXMLParser::START_NAMESPACE:
            declared.append({pooled(xml.getNamespacePrefixID()), pooled(xml.getNamespaceUriID())});
            break;
        case android::ResXMLParser::START_TAG: {
            const size_t count = xml.getAttributeCount();
            nodes += 1 + qsizetype(count);
            if (nodes > MaxXmlNodes)
                return std::nullopt;
            XmlElement element;
            element.namespaceUri = pooled(xml.getElementNamespaceID());
            element.name = pooled(xml.getElementNameID());
            element.parent = open;
            element.depth = open < 0 ? 0 : document.elements[open].depth + 1;
            element.namespaces = std::exchange(declared, {});
            element.attributes.reserve(qsizetype(count));
            for (size_t i = 0; i < count; ++i)
                element.attributes.append(ReadAttribute(xml, i, pooled));
            open = document.elements.size();
            document.elements.append(std::move(element));
            break;
        }
        case android::ResXMLParser::END_TAG:
            if (open < 0)
                return std::nullopt;
            open = document.elements[open].parent;
            break;
        case android::ResXMLParser::TEXT:
            if (open >= 0) {
                size_t length = 0;
                const char16_t *text = xml.getText(&length);
                const QString piece =
                    text ? QString::fromUtf16(text, qsizetype(length)) : QString();
                if (!piece.trimmed().isEmpty())
                    document.elements[open].text += piece;
            }
            break;
        case android::ResXMLParser::END_DOCUMENT:
            if (open >= 0 || document.elements.isEmpty())
                return std::nullopt;
            return document;
        case android::ResXMLParser::BAD_DOCUMENT:
            return std::nullopt;
        default:
            break;
        }
    }
}
