#include "Frameworks.h"

#include "archive/ZipArchive.h"

namespace {

const QByteArray ReactNativeBundle("assets/index.android.bundle");
// Hermes bytecode opens with this 64-bit number, little-endian.
constexpr QByteArrayView HermesMagic("\xC6\x1F\xBC\x03\xC1\x03\x19\x1F", 8);

// The file name of a native library, lib/<abi>/<name>.so; empty for any other entry.
QByteArrayView NativeLibrary(const QByteArray &entry)
{
    if (!entry.startsWith("lib/") || entry.count('/') != 2 || !entry.endsWith(".so"))
        return {};
    return QByteArrayView(entry).sliced(entry.lastIndexOf('/') + 1);
}

struct Marks
{
    bool flutter = false;
    bool reactNative = false;
    bool unity = false;
    bool il2cpp = false;
    bool mono = false;
    bool dotnet = false;
    bool cordova = false;
    bool capacitor = false;
    bool kotlin = false;
    bool compose = false;
    bool godot = false;
    bool qt = false;
    bool cocos = false;
};

void Mark(const QByteArray &name, Marks &marks)
{
    const QByteArrayView library = NativeLibrary(name);
    const bool metaInf = name.startsWith("META-INF/");
    marks.flutter |= library == "libflutter.so" || name.startsWith("assets/flutter_assets/");
    marks.reactNative |= name == ReactNativeBundle || library == "libreactnativejni.so" ||
                         library == "libreactnative.so";
    marks.unity |= library == "libunity.so" || name.startsWith("assets/bin/Data/");
    marks.il2cpp |=
        library == "libil2cpp.so" || name == "assets/bin/Data/Managed/Metadata/global-metadata.dat";
    marks.mono |= library == "libmonobdwgc-2.0.so" || library == "libmono.so";
    marks.dotnet |= library == "libmonodroid.so" || name.startsWith("assemblies/");
    marks.cordova |= name == "assets/www/cordova.js";
    marks.capacitor |= name == "assets/capacitor.config.json";
    marks.kotlin |= (name.startsWith("kotlin/") && name.endsWith(".kotlin_builtins")) ||
                    (metaInf && name.endsWith(".kotlin_module")) ||
                    (name.startsWith("META-INF/kotlin") && name.endsWith(".version"));
    marks.compose |= name.startsWith("META-INF/androidx.compose.") && name.endsWith(".version");
    marks.godot |= library == "libgodot_android.so";
    marks.qt |= library.startsWith("libQt5Core") || library.startsWith("libQt6Core");
    marks.cocos |= library.startsWith("libcocos");
}

} // namespace

QStringList DetectFrameworks(const ZipArchive &archive)
{
    Marks marks;
    for (const QByteArray &name : archive.entryNames())
        Mark(name, marks);

    QStringList frameworks;
    if (marks.flutter)
        frameworks.append(QStringLiteral("Flutter"));
    if (marks.reactNative) {
        const std::optional<QByteArray> start =
            archive.readEntryStart(ReactNativeBundle, HermesMagic.size());
        frameworks.append(start && *start == HermesMagic ? QStringLiteral("React Native (Hermes)")
                                                         : QStringLiteral("React Native"));
    }
    if (marks.unity)
        frameworks.append(marks.il2cpp ? QStringLiteral("Unity (IL2CPP)")
                          : marks.mono ? QStringLiteral("Unity (Mono)")
                                       : QStringLiteral("Unity"));
    const std::pair<bool, const char *> others[] = {
        {marks.dotnet, ".NET MAUI/Xamarin"},
        {marks.cordova, "Cordova"},
        {marks.capacitor, "Capacitor"},
        {marks.kotlin, "Kotlin"},
        {marks.compose, "Jetpack Compose"},
        {marks.godot, "Godot"},
        {marks.qt, "Qt"},
        {marks.cocos, "Cocos"},
    };
    for (const auto &[marked, name] : others)
        if (marked)
            frameworks.append(QString::fromLatin1(name));
    return frameworks;
}
