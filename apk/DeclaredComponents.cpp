#include "DeclaredComponents.h"

namespace {

std::optional<ComponentKind> KindOf(const QString &element)
{
    if (element == QLatin1String("activity"))
        return ComponentKind::Activity;
    if (element == QLatin1String("activity-alias"))
        return ComponentKind::ActivityAlias;
    if (element == QLatin1String("service"))
        return ComponentKind::Service;
    if (element == QLatin1String("receiver"))
        return ComponentKind::Receiver;
    if (element == QLatin1String("provider"))
        return ComponentKind::Provider;
    return std::nullopt;
}

// A class name as Android's package parser completes it (ParsingUtils.buildClassName).
QString FullName(const QString &packageName, const QString &name)
{
    if (name.startsWith(u'.'))
        return packageName + name;
    if (!name.isEmpty() && !name.contains(u'.'))
        return packageName + u'.' + name;
    return name;
}

QString OrElse(const QString &own, const QString &fallback)
{
    return own.isEmpty() ? fallback : own;
}

void AddData(IntentFilter &filter, const XmlElement &data)
{
    using AndroidAttribute::Host, AndroidAttribute::Port;
    if (const QString scheme = ManifestValues::literal(data, AndroidAttribute::Scheme);
        !scheme.isEmpty())
        filter.schemes.append(scheme);
    if (const QString host = ManifestValues::literal(data, Host); !host.isEmpty()) {
        const QString port = ManifestValues::literal(data, Port);
        filter.hosts.append(port.isEmpty() ? host : host + u':' + port);
    }
    using Kind = IntentFilter::DataPath::Kind;
    for (const auto &[id, kind] : {std::pair{AndroidAttribute::Path, Kind::Exact},
                                   std::pair{AndroidAttribute::PathPrefix, Kind::Prefix},
                                   std::pair{AndroidAttribute::PathPattern, Kind::Pattern}})
        if (const QString path = ManifestValues::literal(data, id); !path.isEmpty())
            filter.paths.append({kind, path});
}

// Android keeps only the filters that name an action; one without matches no intent.
bool Effective(const IntentFilter &filter)
{
    return !filter.actions.isEmpty();
}

void DecideExported(DeclaredComponent &component, const XmlElement &element, const SdkLevels &sdk,
                    ManifestValues &values)
{
    if (element.attribute(AndroidAttribute::Exported)) {
        component.exported = values.boolean(element, AndroidAttribute::Exported, false);
        component.reason =
            component.exported ? ExportedReason::Declared : ExportedReason::Unresolved;
        return;
    }
    if (component.kind == ComponentKind::Provider) {
        const bool legacy = (sdk.min && *sdk.min <= 16) || (sdk.target && *sdk.target <= 16);
        component.exported = legacy;
        component.reason =
            legacy ? ExportedReason::ProviderLegacy : ExportedReason::ProviderDefault;
        return;
    }
    const bool filtered =
        std::any_of(component.intentFilters.cbegin(), component.intentFilters.cend(), Effective);
    component.exported = filtered;
    component.reason = filtered ? ExportedReason::IntentFilter : ExportedReason::NoIntentFilter;
    component.missingExported = filtered && sdk.target && *sdk.target >= 31;
}

bool Launches(const DeclaredComponent &component)
{
    if (!component.enabled || (component.kind != ComponentKind::Activity &&
                               component.kind != ComponentKind::ActivityAlias))
        return false;
    return std::any_of(
        component.intentFilters.cbegin(), component.intentFilters.cend(),
        [](const IntentFilter &filter) {
            return filter.actions.contains(QLatin1String("android.intent.action.MAIN")) &&
                   filter.categories.contains(QLatin1String("android.intent.category.LAUNCHER"));
        });
}

} // namespace

bool IsGuarded(const DeclaredComponent &component)
{
    if (component.kind == ComponentKind::Provider)
        return !component.readPermission.isEmpty() && !component.writePermission.isEmpty();
    return !component.permission.isEmpty();
}

DeclaredComponents ReadDeclaredComponents(const XmlDocument &manifest, const SdkLevels &sdk,
                                          ManifestValues &values)
{
    const QList<XmlElement> &elements = manifest.elements;
    DeclaredComponents declared;
    if (elements.isEmpty())
        return declared;
    const XmlAttribute *package = elements.front().plainAttribute(u"package");
    const QString packageName = package ? package->text : QString();
    qsizetype application = -1;
    QString applicationPermission;
    bool applicationEnabled = true;
    QList<qsizetype> componentElements; // the element of each component
    // Every element two deep may be a component; growing the list as they come would move
    // each one many times over.
    const qsizetype candidates =
        std::count_if(elements.cbegin(), elements.cend(),
                      [](const XmlElement &element) { return element.depth == 2; });
    declared.components.reserve(candidates);
    componentElements.reserve(candidates);
    // The elements of the component and of the filter being read.
    qsizetype component = -1;
    qsizetype filter = -1;
    for (qsizetype index = 0; index < elements.size(); ++index) {
        const XmlElement &element = elements[index];
        if (element.depth == 1 && application < 0 && element.name == QLatin1String("application")) {
            application = index;
            applicationPermission = ManifestValues::literal(element, AndroidAttribute::Permission);
            applicationEnabled =
                values.boolean(element, AndroidAttribute::Enabled, true).value_or(true);
        } else if (application >= 0 && element.parent == application) {
            const std::optional<ComponentKind> kind = KindOf(element.name);
            component = filter = -1;
            if (!kind)
                continue;
            component = index;
            componentElements.append(index);
            DeclaredComponent &found = declared.components.emplaceBack();
            found.kind = *kind;
            found.name =
                FullName(packageName, ManifestValues::literal(element, AndroidAttribute::Name));
            if (*kind == ComponentKind::ActivityAlias)
                found.targetActivity =
                    FullName(packageName,
                             ManifestValues::literal(element, AndroidAttribute::TargetActivity));
            found.enabled = applicationEnabled &&
                            values.boolean(element, AndroidAttribute::Enabled, true).value_or(true);
            found.permission =
                OrElse(ManifestValues::literal(element, AndroidAttribute::Permission),
                       applicationPermission);
            if (*kind == ComponentKind::Provider) {
                found.readPermission =
                    OrElse(ManifestValues::literal(element, AndroidAttribute::ReadPermission),
                           found.permission);
                found.writePermission =
                    OrElse(ManifestValues::literal(element, AndroidAttribute::WritePermission),
                           found.permission);
                const QString authorities =
                    ManifestValues::literal(element, AndroidAttribute::Authorities);
                found.authorities = authorities.split(u';', Qt::SkipEmptyParts);
            }
        } else if (component >= 0 && element.parent == component &&
                   element.name == QLatin1String("intent-filter")) {
            filter = index;
            declared.components.last().intentFilters.append(IntentFilter());
        } else if (filter >= 0 && element.parent == filter) {
            IntentFilter &current = declared.components.last().intentFilters.last();
            // Android asks for these two by name, not by resource id.
            const XmlAttribute *named = element.namedAndroidAttribute(u"name");
            const QString name = named ? named->text : QString();
            if (element.name == QLatin1String("action") && !name.isEmpty())
                current.actions.append(name);
            else if (element.name == QLatin1String("category") && !name.isEmpty())
                current.categories.append(name);
            else if (element.name == QLatin1String("data"))
                AddData(current, element);
        }
    }
    for (qsizetype index = 0; index < declared.components.size(); ++index) {
        DeclaredComponent &found = declared.components[index];
        DecideExported(found, elements[componentElements[index]], sdk, values);
        if (declared.launcherActivity.isEmpty() && Launches(found))
            declared.launcherActivity = found.name;
    }
    return declared;
}
