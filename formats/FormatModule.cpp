#include "FormatModule.h"

#include "base/ProgramDirectory.h"

#include <QFile>
#include <atomic>
#include <cstdio>
#include <dlfcn.h>

// Defined only in programs that link the readers in (the fuzzers); the others load the module.
extern "C" const FormatReaders *PelmoraFormatReaders() __attribute__((weak));

namespace {

struct LoadedModule
{
    const FormatReaders *readers = nullptr;
    QString problem;
};

LoadedModule Refused(const QString &why)
{
    return {nullptr,
            QStringLiteral("无法加载 %1：%2").arg(QLatin1String(FormatModuleFileName), why)};
}

LoadedModule Load()
{
    if (PelmoraFormatReaders)
        return {PelmoraFormatReaders(), {}};
    const QString directory = ProgramDirectory();
    if (directory.isEmpty())
        return Refused(QStringLiteral("程序目录未知"));
    const QByteArray path = QFile::encodeName(directory) + '/' + FormatModuleFileName;
    // Everything bound now, so that a library of the wrong version fails here and not in the
    // middle of a reading; local, so that nothing it brings in can stand in for another
    // library's symbols.
    void *module = ::dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return Refused(QString::fromLocal8Bit(::dlerror()));
    const auto entry =
        reinterpret_cast<const FormatReaders *(*)()>(::dlsym(module, "PelmoraFormatReaders"));
    const FormatReaders *readers = entry ? entry() : nullptr;
    if (!readers || readers->version != FormatReaders::CurrentVersion)
        return Refused(QStringLiteral("%1 不是本程序的版本").arg(QFile::decodeName(path)));
    // Never unloaded: the tables it hands out run its code.
    return {readers, {}};
}

const LoadedModule &Module()
{
    static const LoadedModule loaded = Load();
    return loaded;
}

} // namespace

void PrepareFormatModule()
{
    Module();
}

const FormatReaders *FormatModule()
{
    const LoadedModule &module = Module();
    // Said when a reading first goes without, not when the module was only prepared.
    static std::atomic_flag said;
    if (!module.readers && !said.test_and_set())
        std::fprintf(stderr, "Pelmora：%s\n", module.problem.toLocal8Bit().constData());
    return module.readers;
}

QString FormatModuleProblem()
{
    return Module().problem;
}
