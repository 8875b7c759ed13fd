#pragma once

#include "formats/ResourceTable.h"
#include "formats/XmlDocument.h"

#include <QString>

// The manifest `document` as indented XML text, as the manifest window shows it and
// `pelmora --manifest` prints it: each namespace declared where the document declares it (and
// one added where a namespace is used undeclared), names with the prefix in scope, values as
// `aapt dump xmltree` decodes them. An android: attribute the platform knows by its resource id
// is named as Android's parser reads it, by that id, and a comment says so when the file names it
// otherwise. References are written as "@type/name" (`packageTable` names the package's own,
// the framework package the platform's as "@android:type/name"), or "@0x7f…" when nothing names
// them; the value a reference resolves to in the default configuration is written in a comment
// before the element, "<!-- @string/app_name = "应用" -->", so that the text stays well-formed
// XML. Looking references up stops once MaxReferenceWork configurations have been examined;
// past that, references are written by their ids ("@0x7f…"), without values.
QString ManifestText(const XmlDocument &document, const ResourceTable *packageTable);

// All the references of one manifest together may make its text examine this many
// configurations, far more than a real one needs: framework-res.apk's own manifest has 259
// references, to types of up to 2,208 configurations each.
constexpr qint64 MaxReferenceWork = qint64(1) << 24;
