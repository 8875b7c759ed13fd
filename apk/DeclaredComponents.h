#pragma once

#include "ManifestValues.h"

#include <QStringList>

enum class ComponentKind
{
    Activity,
    ActivityAlias,
    Service,
    Receiver,
    Provider,
};

// What an <intent-filter> matches, each as written, in the manifest's order.
struct IntentFilter
{
    QStringList actions;
    QStringList categories;
    QStringList schemes;
    QStringList hosts; // "host", or "host:port" when a port is given
    // A <data> path, by the attribute that gives it.
    struct DataPath
    {
        enum Kind
        {
            Exact,   // android:path
            Prefix,  // android:pathPrefix
            Pattern, // android:pathPattern
        };
        Kind kind;
        QString path;
    };
    QList<DataPath> paths;
};

// Why a component is, or is not, reachable from other apps, as Android decides.
enum class ExportedReason
{
    Declared,        // android:exported says so
    IntentFilter,    // not declared, and an intent filter makes it exported
    NoIntentFilter,  // not declared, and no intent filter of its names an action
    ProviderLegacy,  // a provider not declared, the SDK level 16 or lower
    ProviderDefault, // a provider not declared, both SDK levels 17 or higher
    Unresolved,      // a reference that does not resolve to one value
};

struct DeclaredComponent
{
    ComponentKind kind = ComponentKind::Activity;
    QString name;                 // in full, as Android resolves it against the package
    QString targetActivity;       // an alias's, in full; empty otherwise
    std::optional<bool> exported; // nothing when Unresolved
    ExportedReason reason = ExportedReason::NoIntentFilter;
    // Exported only by its intent filters, which Android refuses from target SDK 31 (its
    // android:exported must then be explicit).
    bool missingExported = false;
    // False, too, when the application is disabled; a reference that does not resolve counts as
    // the default.
    bool enabled = true;
    // The permission a caller needs: the component's own, else the application's. A provider's
    // read and write permissions each fall back to that one.
    QString permission;
    QString readPermission;
    QString writePermission;
    QStringList authorities; // a provider's
    QList<IntentFilter> intentFilters;
};

// A component is guarded when a caller needs a permission for everything it can do with it.
bool IsGuarded(const DeclaredComponent &component);

struct DeclaredComponents
{
    QList<DeclaredComponent> components; // in the manifest's order
    // The first enabled activity or alias whose filter has action MAIN and category LAUNCHER;
    // empty when none.
    QString launcherActivity;
};

// Every component under <application> of `manifest`, its names resolved against the package's.
DeclaredComponents ReadDeclaredComponents(const XmlDocument &manifest, const SdkLevels &sdk,
                                          ManifestValues &values);
