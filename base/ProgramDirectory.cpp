#include "ProgramDirectory.h"

#include <QCoreApplication>

QString ProgramDirectory()
{
    if (!QCoreApplication::instance())
        return {};
    // On Linux this comes from /proc/self/exe, which the kernel reports with links resolved.
    return QCoreApplication::applicationDirPath();
}
