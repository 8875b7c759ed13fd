#include "FormatModule.h"

#include "Formats.h"
#include "base/ProgramDirectory.h"

#include <QFile>
#include <atomic>
#include <dlfcn.h>

// Defined only in programs that link the readers in (the fuzzers); the others load the module.
extern "C" const FormatReaders *PelmoraFormatReaders() __attribute__((weak));

namespace {

struct LoadedModule
{
    const FormatReaders *readers = nullptr;
    Failure problem;
};

// The module's name comes first in every reason it does not load.
LoadedModule Refused(FailureCode code, const QStringList &details = {})
{
    return {nullptr, {code, QStringList{QLatin1String(FormatModuleFileName)} + details}};
}

std::atomic<FormatModuleComplaint> complaint = nullptr;

LoadedModule Load()
{
    if (PelmoraFormatReaders)
        return {PelmoraFormatReaders(), {}};
    const QString directory = ProgramDirectory();
    if (directory.isEmpty())
        return Refused(FailureCode::FormatModuleNoDirectory);
    const QByteArray path = QFile::encodeName(directory) + '/' + FormatModuleFileName;
    // Everything bound now, so that a library of the wrong version fails here and not in the
    // middle of a reading; local, so that nothing it brings in can stand in for another
    // library's symbols.
    void *module = ::dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return Refused(FailureCode::FormatModuleMissing, {QString::fromLocal8Bit(::dlerror())});
    const auto entry =
        reinterpret_cast<const FormatReaders *(*)()>(::dlsym(module, "PelmoraFormatReaders"));
    const FormatReaders *readers = entry ? entry() : nullptr;
    if (!readers || readers->version != FormatReaders::CurrentVersion)
        return Refused(FailureCode::FormatModuleWrongVersion, {QFile::decodeName(path)});
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
        if (const FormatModuleComplaint say = complaint.load())
            say(module.problem);
    return module.readers;
}

void SetFormatModuleComplaint(FormatModuleComplaint say)
{
    complaint.store(say);
}

Failure FormatModuleProblem()
{
    return Module().problem;
}
