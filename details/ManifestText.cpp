#include "ManifestText.h"

#include "apk/PlatformPackage.h"
#include "formats/ResourceResolver.h"

#include <QHash>
#include <QSet>
#include <array>
#include <charconv>
#include <cstring>

namespace {

// Res_value's types beyond the few ValueType names, and the fields of a complex value.
constexpr quint8 AttributeType = 0x02;
constexpr quint8 FloatType = 0x04;
constexpr quint8 DimensionType = 0x05;
constexpr quint8 FractionType = 0x06;
constexpr quint8 DynamicReferenceType = 0x07;
constexpr quint8 DynamicAttributeType = 0x08;
constexpr quint8 DecimalType = 0x10;
constexpr quint8 HexType = 0x11;
constexpr quint8 BooleanType = 0x12;
constexpr quint32 PlatformPackageId = 0x01;

const QString AndroidNamespace = QStringLiteral("http://schemas.android.com/apk/res/android");
// The namespaces XML binds for itself, which no declaration may name.
const QString XmlNamespace = QStringLiteral("http://www.w3.org/XML/1998/namespace");
const QString XmlnsNamespace = QStringLiteral("http://www.w3.org/2000/xmlns/");
const QString Indent = QStringLiteral("    ");

QString Shortest(float value)
{
    std::array<char, 32> digits{};
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() ? QString::fromLatin1(digits.data(), end - digits.data())
                                : QString();
}

// A complex value's number, as TypedValue.complexToFloat reads its mantissa and radix.
float ComplexNumber(quint32 data)
{
    static constexpr std::array<float, 4> Radix = {1.0f / (1 << 8), 1.0f / (1 << 15),
                                                   1.0f / (1 << 23), 1.0f / (1u << 31)};
    return float(qint32(data & 0xffffff00)) * Radix[(data >> 4) & 0x3];
}

QString DimensionText(quint32 data)
{
    static const std::array<QString, 6> Units = {QStringLiteral("px"), QStringLiteral("dip"),
                                                 QStringLiteral("sp"), QStringLiteral("pt"),
                                                 QStringLiteral("in"), QStringLiteral("mm")};
    const quint32 unit = data & 0xf;
    return Shortest(ComplexNumber(data)) +
           (unit < Units.size() ? Units[unit] : QStringLiteral(" (单位 %1)").arg(unit));
}

QString FractionText(quint32 data)
{
    const quint32 unit = data & 0xf;
    return Shortest(ComplexNumber(data) * 100) + (unit == 0 ? QStringLiteral("%")
                                                  : unit == 1
                                                      ? QStringLiteral("%p")
                                                      : QStringLiteral(" (单位 %1)").arg(unit));
}

// `type` and `data` as aapt decodes a value that is neither a string nor a reference; null
// for a type it does not know.
QString NumberText(quint8 type, quint32 data)
{
    if (type == FloatType) {
        float value = 0;
        std::memcpy(&value, &data, sizeof value);
        return Shortest(value);
    }
    if (type == DimensionType)
        return DimensionText(data);
    if (type == FractionType)
        return FractionText(data);
    if (type == DecimalType)
        return QString::number(qint32(data));
    if (type == HexType)
        return QStringLiteral("0x") + QString::number(data, 16);
    if (type == BooleanType)
        return data ? QStringLiteral("true") : QStringLiteral("false");
    if (type >= ValueType::FirstColour && type <= ValueType::LastColour)
        return QStringLiteral("#%1").arg(data, 8, 16, QLatin1Char('0'));
    if (type >= ValueType::FirstInteger && type <= ValueType::LastInteger)
        return QString::number(qint32(data));
    return {};
}

// What XML 1.0 cannot hold even as a character reference.
bool ForbiddenInXml(QChar c)
{
    return (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') ||
           c.unicode() == 0xfffe || c.unicode() == 0xffff;
}

// `text` inside a quoted attribute value or an element.
QString Escaped(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            escaped += QStringLiteral("&amp;");
        else if (c == u'<')
            escaped += QStringLiteral("&lt;");
        else if (c == u'>')
            escaped += QStringLiteral("&gt;");
        else if (c == u'"')
            escaped += QStringLiteral("&quot;");
        else if (c == u'\n' || c == u'\r' || c == u'\t')
            escaped += QStringLiteral("&#%1;").arg(c.unicode());
        else
            escaped += ForbiddenInXml(c) ? QChar::ReplacementCharacter : c;
    }
    return escaped;
}

// `text` inside a comment, which may hold neither "--" nor end in "-"; line breaks are written
// as \n so that each comment stays one line.
QString CommentSafe(const QString &text)
{
    QString safe;
    for (const QChar c : text) {
        if (c == u'\n')
            safe += QStringLiteral("\\n");
        else if (c == u'\r')
            safe += QStringLiteral("\\r");
        else if (c == u'-' && safe.endsWith(u'-'))
            safe += QStringLiteral(" -");
        else
            safe += ForbiddenInXml(c) ? QChar::ReplacementCharacter : c;
    }
    return safe.endsWith(u'-') ? safe + u' ' : safe;
}

// Names are kept to ASCII, which every XML reader's tables agree on; Android's own are.
bool NameStart(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool NameCharacter(QChar c)
{
    return NameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
}

// `name` as an XML name without a prefix: every other character becomes '_'.
QString XmlName(const QString &name)
{
    QString fixed = name;
    for (qsizetype i = 0; i < fixed.size(); ++i)
        if (!(i == 0 ? NameStart(fixed[i]) : NameCharacter(fixed[i])))
            fixed[i] = u'_';
    return fixed.isEmpty() ? QStringLiteral("_") : fixed;
}

class ManifestWriter
{
public:
    ManifestWriter(const XmlDocument &document, const ResourceTable *packageTable)
        : document(document), packageTable(packageTable),
          platformTable(ThePlatformPackage().table.get())
    {
    }

    QString write()
    {
        text = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n");
        const QList<XmlElement> &elements = document.elements;
        for (qsizetype i = 0; i < elements.size(); ++i) {
            // XML has one root, and Android reads the first: what follows it is only counted.
            if (i > 0 && elements[i].depth == 0) {
                closeTo(0);
                text += QStringLiteral("<!-- 根元素之后还有 %1 个元素，未显示 -->\n")
                            .arg(elements.size() - i);
                return text;
            }
            closeTo(elements[i].depth);
            const bool hasChildren =
                i + 1 < elements.size() && elements[i + 1].depth > elements[i].depth;
            writeElement(elements[i], hasChildren);
        }
        closeTo(0);
        return text;
    }

private:
    struct Open
    {
        int depth;
        QString name;
        qsizetype scopeSize; // the namespaces in scope before it
    };

    // Ends every open element at `depth` or deeper.
    void closeTo(int depth)
    {
        while (!open.isEmpty() && open.last().depth >= depth) {
            const Open element = open.takeLast();
            text += Indent.repeated(element.depth) + QStringLiteral("</%1>\n").arg(element.name);
            scope.resize(element.scopeSize);
        }
    }

    // The prefix bound to `uri` here, when the innermost binding of that prefix is still it;
    // the default namespace only for an element, since an attribute without a prefix is in none.
    std::optional<QString> prefixInScope(const QString &uri, bool element) const
    {
        for (qsizetype i = scope.size() - 1; i >= 0; --i) {
            if (scope[i].second != uri || (!element && scope[i].first.isEmpty()))
                continue;
            for (qsizetype j = scope.size() - 1; j > i; --j)
                if (scope[j].first == scope[i].first)
                    return std::nullopt;
            return scope[i].first;
        }
        return std::nullopt;
    }

    bool boundHere(const QString &prefix) const
    {
        for (const auto &binding : scope)
            if (binding.first == prefix)
                return true;
        return false;
    }

    // "prefix:" for `uri`, declared on the element being written when nothing in scope binds it.
    QString qualifier(const QString &uri, bool element, QStringList &declarations)
    {
        if (uri.isEmpty() || uri == XmlnsNamespace)
            return {};
        if (uri == XmlNamespace)
            return QStringLiteral("xml:");
        if (const std::optional<QString> prefix = prefixInScope(uri, element))
            return prefix->isEmpty() ? QString() : *prefix + u':';
        QString prefix = uri == AndroidNamespace ? QStringLiteral("android") : QString();
        for (int n = 1; prefix.isEmpty() || boundHere(prefix); ++n)
            prefix = QStringLiteral("ns%1").arg(n);
        scope.append({prefix, uri});
        declarations.append(QStringLiteral("xmlns:%1=\"%2\"").arg(prefix, Escaped(uri)));
        return prefix + u':';
    }

    // The name Android's parser reads an android: attribute by: the platform's name for its
    // resource id; nothing when the platform does not know the id.
    std::optional<QString> platformAttributeName(const XmlAttribute &attribute)
    {
        if (attribute.resourceId >> 24 != PlatformPackageId)
            return std::nullopt;
        const std::optional<QString> name = resourceName(attribute.resourceId);
        if (!name || !name->startsWith(QLatin1String("attr/")))
            return std::nullopt;
        return name->mid(5);
    }

    const ResourceTable *tableOf(quint32 id) const
    {
        return id >> 24 == PlatformPackageId ? platformTable : packageTable;
    }

    bool spend(qint64 work)
    {
        examinedSoFar += work;
        return examinedSoFar <= MaxReferenceWork;
    }

    std::optional<QString> resourceName(quint32 id)
    {
        const auto known = names.constFind(id);
        if (known != names.constEnd())
            return *known;
        const ResourceTable *table = tableOf(id);
        std::optional<QString> name;
        if (table && spend(std::max<qint64>(1, table->configurationCount(id))))
            name = table->name(id, ResourceResolver::MaxTextLength);
        names.insert(id, name);
        return name;
    }

    // "@string/app_name", "@android:style/Theme", "@0x7f010000"; '?' for an attribute.
    QString referenceText(QChar sign, quint32 id)
    {
        if (id == 0)
            return sign + QStringLiteral("null");
        if (const std::optional<QString> name = resourceName(id))
            return sign + (id >> 24 == PlatformPackageId ? QStringLiteral("android:") : QString()) +
                   *name;
        return sign + QStringLiteral("0x%1").arg(id, 8, 16, QLatin1Char('0'));
    }

    // What reference `id` resolves to in the default configuration (no locale, else any
    // density): a string in quotes, a number; nothing for a style, a bag or past the work allowed.
    std::optional<QString> resolvedText(quint32 id)
    {
        const ResourceTable *table = tableOf(id);
        if (!table || id == 0 || examinedSoFar > MaxReferenceWork)
            return std::nullopt;
        ResourceResolver resolver(*table);
        const QList<TableValue> values = resolver.resolve(id);
        if (!spend(resolver.examined()))
            return std::nullopt;
        const TableValue *chosen = nullptr;
        for (const TableValue &value : values)
            if (value.language.isEmpty() && value.country.isEmpty() &&
                (!chosen || (chosen->density != 0 && value.density == 0)))
                chosen = &value;
        if (!chosen)
            return std::nullopt;
        if (chosen->type == ValueType::String) {
            const std::optional<QString> string =
                table->string(chosen->data, ResourceResolver::MaxTextLength);
            return string ? std::optional<QString>(u'"' + *string + u'"') : std::nullopt;
        }
        const QString number = NumberText(chosen->type, chosen->data);
        return number.isEmpty() ? std::nullopt : std::optional<QString>(number);
    }

    // The attribute's value as written, and a note on what a reference resolves to.
    QString valueText(const XmlAttribute &attribute, QStringList &notes)
    {
        switch (attribute.type) {
        case ValueType::Reference:
        case DynamicReferenceType: {
            const QString reference = referenceText(u'@', attribute.data);
            if (const std::optional<QString> resolved = resolvedText(attribute.data))
                notes.append(reference + QStringLiteral(" = ") + *resolved);
            return reference;
        }
        case AttributeType:
        case DynamicAttributeType:
            return referenceText(u'?', attribute.data);
        case ValueType::String:
        case 0:
            return attribute.text;
        default:
            const QString number = NumberText(attribute.type, attribute.data);
            return number.isNull() ? attribute.text : number;
        }
    }

    void writeElement(const XmlElement &element, bool hasChildren)
    {
        const QString indent = Indent.repeated(element.depth);
        const qsizetype scopeBefore = scope.size();
        QStringList declarations;
        QSet<QString> prefixes;
        for (const auto &[prefix, uri] : element.namespaces) {
            // A prefix or namespace XML reserves, one declared twice here, or one undeclared
            // (XML cannot unbind a prefix) cannot be written again.
            const QString name = prefix.isEmpty() ? QString() : XmlName(prefix);
            if (name.startsWith(QLatin1String("xml"), Qt::CaseInsensitive) ||
                prefixes.contains(name) || uri == XmlNamespace || uri == XmlnsNamespace ||
                (uri.isEmpty() && !name.isEmpty()))
                continue;
            prefixes.insert(name);
            scope.append({name, uri});
            declarations.append(
                (name.isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + name) +
                QStringLiteral("=\"") + Escaped(uri) + u'"');
        }
        const QString name =
            qualifier(element.namespaceUri, true, declarations) + XmlName(element.name);

        QStringList attributes, notes;
        QSet<QString> written;
        for (const XmlAttribute &attribute : element.attributes) {
            const QString stored = XmlName(attribute.name);
            const std::optional<QString> byId = platformAttributeName(attribute);
            const QString prefix = qualifier(attribute.namespaceUri, false, declarations);
            QString shown = prefix + (byId ? XmlName(*byId) : stored);
            // Without a prefix that name would declare a namespace.
            if (shown == QLatin1String("xmlns"))
                shown += u'_';
            const QString value = Escaped(valueText(attribute, notes));
            if (byId && *byId != attribute.name)
                notes.append(QStringLiteral("%1 在文件中名为 “%2”").arg(shown, attribute.name));
            // Written once: a second would make the text no XML at all.
            if (written.contains(shown)) {
                notes.append(QStringLiteral("重复的属性 %1=\"%2\"").arg(shown, value));
                continue;
            }
            written.insert(shown);
            attributes.append(QStringLiteral("%1=\"%2\"").arg(shown, value));
        }

        for (const QString &note : std::as_const(notes))
            text += indent + QStringLiteral("<!-- ") + CommentSafe(note) + QStringLiteral(" -->\n");
        text += indent + u'<' + name;
        const QStringList all = declarations + attributes;
        if (all.size() == 1)
            text += u' ' + all.first();
        else
            for (const QString &attribute : all)
                text += u'\n' + indent + Indent + attribute;
        if (!hasChildren && element.text.isEmpty()) {
            text += QStringLiteral(" />\n");
            scope.resize(scopeBefore);
            return;
        }
        text += QStringLiteral(">\n");
        if (!element.text.isEmpty())
            text += indent + Indent + Escaped(element.text) + u'\n';
        open.append({element.depth, name, scopeBefore});
        if (!hasChildren)
            closeTo(element.depth);
    }

    const XmlDocument &document;
    const ResourceTable *packageTable;
    const ResourceTable *platformTable;
    QString text;
    QList<Open> open;
    QList<std::pair<QString, QString>> scope; // (prefix, uri), outermost first
    QHash<quint32, std::optional<QString>> names;
    qint64 examinedSoFar = 0;
};

} // namespace

QString ManifestText(const XmlDocument &document, const ResourceTable *packageTable)
{
    return ManifestWriter(document, packageTable).write();
}
