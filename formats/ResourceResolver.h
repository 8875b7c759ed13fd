#pragma once

#include "ResourceTable.h"

// A string resource's text for no locale, and its Chinese (China) translation where it has one.
struct ResourceText
{
    QString text;
    QString chinese;
};

// Looks resources up with their aliases followed (a value that names another resource stands
// for that resource's values), within caps no real package reaches: an icon behind five levels
// of aliases in 29 configurations each would otherwise be 20 million values.
class ResourceResolver
{
public:
    // A chain of aliases is followed this many steps.
    static constexpr int MaxAliasDepth = 4;
    // What one reading (an icon with its layers, a label) may examine, all its lookups together;
    // each lookup costs the configurations its type has (a label in framework-res.apk, 2,208).
    static constexpr qint64 MaxExamined = 65536;
    // Longer texts and paths are taken for none.
    static constexpr qsizetype MaxTextLength = 4096;

    explicit ResourceResolver(const ResourceTable &table) : resources(table) {}

    const ResourceTable &table() const { return resources; }
    // Every configuration's value of resource `id`, an alias replaced by the values of the
    // resource it names, each in its own configuration. Empty once the reading has examined
    // more than MaxExamined configurations, and so is every later call.
    QList<TableValue> resolve(quint32 id);
    // Whether the reading reached MaxExamined: what it found is then not to be used.
    bool exhausted() const { return budget < 0; }
    // How many configurations the reading has examined so far.
    qint64 examined() const { return MaxExamined - budget; }
    // The text of string resource `id`: the value of a configuration without a locale, and of
    // zh-rCN (else zh). Each is empty when there is none.
    ResourceText text(quint32 id);
    // The integer resource `id` holds, as Android's package parser reads one from the manifest
    // (a configuration with a locale never applies to it): the value of every configuration
    // without a locale. Nothing when there is none, one holds another type, or they differ, so
    // that the value would depend on the device.
    std::optional<qint32> integer(quint32 id);

private:
    void collect(quint32 id, int depth, QList<TableValue> &found);

    const ResourceTable &resources;
    qint64 budget = MaxExamined;
};
