#include "XmlDocument.h"

const XmlAttribute *XmlElement::attribute(quint32 resourceId) const
{
    for (const XmlAttribute &candidate : attributes)
        if (candidate.resourceId == resourceId)
            return &candidate;
    return nullptr;
}

namespace {

const XmlAttribute *Named(const QList<XmlAttribute> &attributes, QStringView namespaceUri,
                          QStringView wanted)
{
    for (const XmlAttribute &candidate : attributes)
        if (candidate.namespaceUri == namespaceUri && candidate.name == wanted)
            return &candidate;
    return nullptr;
}

} // namespace

const XmlAttribute *XmlElement::plainAttribute(QStringView wanted) const
{
    return Named(attributes, {}, wanted);
}

const XmlAttribute *XmlElement::namedAndroidAttribute(QStringView wanted) const
{
    return Named(attributes, AndroidNamespaceUri, wanted);
}
