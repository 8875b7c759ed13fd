// The formats module's entry: the one symbol it exports.
#include "FormatReaders.h"
#include "bundle/ApkManifestXml.h"
#include "details/LoadedArscTable.h"
#include "native/ElfLoadAlignment.h"

extern "C" __attribute__((visibility("default"))) const FormatReaders *PelmoraFormatReaders()
{
    static const FormatReaders readers{
        FormatReaders::CurrentVersion, ParseApkManifestXml, ReadAdaptiveIconXml,
        LoadWithLibandroidfw,          ParseApkSetToc,      SmallestLoadAlignment,
    };
    return &readers;
}
