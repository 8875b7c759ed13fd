#pragma once

#include "formats/XmlDocument.h"

#include <QByteArrayView>
#include <optional>

// Reads a binary XML document with libandroidfw's ResXMLTree (in the formats module only;
// everything else calls ReadXmlDocument).
std::optional<XmlDocument> ReadXmlDocumentWithLibandroidfw(QByteArrayView bytes);
