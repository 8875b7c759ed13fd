// The formats module's entry: the one symbol it exports.
#include "ApkManifestXml.h"
#include "ElfLoadAlignment.h"
#include "LoadedArscTable.h"
#include "ScaledWebp.h"
#include "XmlDocumentReader.h"
#include "formats/FormatReaders.h"

extern "C" __attribute__((visibility("default"))) const FormatReaders *PelmoraFormatReaders()
{
    static const FormatReaders readers{
        FormatReaders::CurrentVersion,
        ParseApkManifestXml,
        ReadAdaptiveIconXml,
        LoadWithLibandroidfw,
        ParseApkSetToc,
        SmallestLoadAlignment,
        DecodeScaledWebp,
        ReadXmlDocumentWithLibandroidfw,
    };
    return &readers;
}
