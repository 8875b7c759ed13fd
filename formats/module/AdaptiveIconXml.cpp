#include "formats/AdaptiveIconXml.h"

#include "AndroidXml.h"

#include <androidfw/ResourceTypes.h>

namespace {

constexpr quint32 DrawableAttribute = 0x01010199;

} // namespace

std::optional<AdaptiveIconXml> ReadAdaptiveIconXml(QByteArrayView xml)
{
    android::ResXMLTree tree;
    if (xml.isEmpty() || tree.setTo(xml.data(), size_t(xml.size())) != android::NO_ERROR)
        return std::nullopt;
    AdaptiveIconXml icon;
    int depth = 0;
    for (android::ResXMLParser::event_code_t event = tree.next();
         event != android::ResXMLParser::END_DOCUMENT &&
         event != android::ResXMLParser::BAD_DOCUMENT;
         event = tree.next()) {
        if (event == android::ResXMLParser::END_TAG)
            --depth;
        if (event != android::ResXMLParser::START_TAG)
            continue;
        const QString name = ElementName(tree);
        if (++depth == 1 && name != QLatin1String("adaptive-icon"))
            return std::nullopt;
        const std::optional<android::Res_value> drawable =
            AttributeValue(tree, AndroidAttribute(tree, DrawableAttribute));
        if (depth != 2 || !drawable)
            continue;
        const DrawableValue value{drawable->dataType, drawable->data};
        if (name == QLatin1String("background"))
            icon.background = value;
        else if (name == QLatin1String("foreground"))
            icon.foreground = value;
    }
    return icon;
}
