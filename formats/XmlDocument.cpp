#include "XmlDocument.h"

const XmlAttribute *XmlElement::attribute(quint32 resourceId) const
{
    for (const XmlAttribute &candidate : attributes)
        if (candidate.resourceId == resourceId)
            return &candidate;
    return nullptr;
}

const XmlAttribute *XmlElement::plainAttribute(QStringView wanted) const
{
    for (const XmlAttribute &candidate : attributes)
        if (candidate.namespaceUri.isEmpty() && candidate.name == wanted)
            return &candidate;
    return nullptr;
}
